#!/usr/bin/python3
"""browser_test.py <address> <server host:port> <package> <screenshot png>

Debian's chromium, headless, driven through chromium-driver by Selenium, looks at the address the dialog
showed, reached at the server that serves it: once per language the visitor's browser may speak, and once
with JavaScript switched off. Each look: no console error, no failed request, the three sections with
their lang, the visitor's first; the first look also downloads the package with the link.

Selenium rather than the DevTools protocol spoken directly: Debian builds the driver with the browser, so
the two always match, and the driver brings the waiting, element lookup and logs a test would otherwise
write itself; the two protocol calls it has no word for go through it unchanged.
"""
import hashlib
import json
import os
import sys
import tempfile
import time
from urllib.parse import urlsplit

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

# (browser language, JavaScript on, the sections' order the visitor sees)
ROWS = [
    ("en-US", True, ["en", "zh-Hans", "zh-Hant"]),
    ("zh-CN", True, ["zh-Hans", "en", "zh-Hant"]),
    ("zh-TW", True, ["zh-Hant", "en", "zh-Hans"]),
    ("zh-TW", False, ["en", "zh-Hans", "zh-Hant"]),
]


def browser(language, script, server, host, downloads):
    options = webdriver.ChromeOptions()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-proxy-server", "--window-size=1000,1200",
                f"--lang={language}", f"--host-resolver-rules=MAP {host} {server}"):
        options.add_argument(arg)
    options.add_experimental_option("prefs", {
        "intl.accept_languages": language, "download.default_directory": downloads,
        "download.prompt_for_download": False})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # The page's own scripts only: the driver still reads the page through the protocol.
    driver.execute_cdp_cmd("Emulation.setScriptExecutionDisabled", {"value": not script})
    # A headless browser saves nothing unless told where.
    driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return driver


def failed_requests(driver):
    """Requests the page made that failed or were answered with an error, with the console's errors."""
    failed = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        params = message.get("params", {})
        if message["method"] == "Network.loadingFailed":
            failed.append(f"request failed: {params.get('errorText')}")
        elif message["method"] == "Network.responseReceived" and params["response"]["status"] >= 400:
            failed.append(f"{params['response']['url']}: status {params['response']['status']}")
    failed += [f"console: {e['message']}" for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    return failed


def saved_download(folder, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        # Chromium writes under a hidden or .crdownload name and renames once the download is whole.
        names = os.listdir(folder)
        if names and not any(n.startswith(".") or n.endswith(".crdownload") for n in names):
            with open(os.path.join(folder, names[0]), "rb") as f:
                return names[0], f.read()
        time.sleep(0.2)
    return None, b""


def main(address, server, package, shot):
    host = urlsplit(address).netloc
    # The browser writes the host name in lower case.
    package_url = urlsplit(address)._replace(netloc=host.lower()).geturl() + "ZemSetup.exe"
    with open(package, "rb") as f:
        expected = hashlib.sha256(f.read()).hexdigest()
    failures = 0

    def check(what, ok, detail=""):
        nonlocal failures
        print(f"{'ok' if ok else 'FAIL'}: {what}{'' if ok else ' ' + str(detail)}")
        failures += not ok

    for number, (language, script, order) in enumerate(ROWS):
        title = f"{language}, JavaScript {'on' if script else 'off'}"
        with tempfile.TemporaryDirectory() as downloads:
            driver = browser(language, script, server, host, downloads)
            try:
                driver.get(address)
                sections = driver.find_elements(By.CSS_SELECTOR, "main > section")
                seen = [s.get_attribute("lang") for s in sections]
                check(f"{title}: the sections in the order {order}", seen == order, seen)
                links = [s.find_element(By.CSS_SELECTOR, "a.download").get_attribute("href") for s in sections]
                check(f"{title}: each has the download link", len(links) == 3 and all(
                    link == package_url for link in links), links)
                images = driver.execute_script("return [...document.images].every(i => i.complete && i.naturalWidth > 0)")
                check(f"{title}: the picture is drawn", images is not False)
                problems = failed_requests(driver)
                check(f"{title}: no console error, no failed request", not problems, problems)
                if number == 0:
                    driver.get_screenshot_as_file(shot)
                    sections[0].find_element(By.CSS_SELECTOR, "a.download").click()
                    name, body = saved_download(downloads)
                    check(f"{title}: the link saves {name} byte for byte as the package",
                          name == "ZemSetup.exe" and hashlib.sha256(body).hexdigest() == expected, f"{len(body)} bytes")
            finally:
                driver.quit()
    print("all checks passed" if not failures else f"{failures} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
