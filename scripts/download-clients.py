#!/usr/bin/env python3
"""Many clients downloading one address at the same moment, as a network does the morning it installs.

  download-clients.py fetch <url> <server> <package> [clients] [runs]
      the clients (default 500) start at once; each checks status 200 and the body's SHA-256 against the
      package file; then one client alone. Prints both throughputs and their ratio, run by run (default
      1) and as min/median/max.
  download-clients.py replace <url> <server> <old> <new> <clients> <command>...
      the clients start and read the first part of the old package; <command> replaces it (a second
      Install) while others keep asking; once it has ended, the first clients read on and as many new
      ones start. Every body must be one package whole: the old one for those that started before, the
      new one for those after, either for those during.

<url> is the address the dialog shows; <server> (host:port) is where it is served, asked with the url's
Host. Exit status 0 only when every client got what it should. The clients are asyncio tasks with
aiohttp (Debian's python3-aiohttp): one process holds hundreds of connections open at once and hashes
every body as it arrives, so a body cut short or mixed from two files is seen, not just counted.
"""
import asyncio
import hashlib
import subprocess
import sys
import time
from urllib.parse import urlsplit

import aiohttp

CHUNK = MB = 1 << 20


class Client:
    """One download: the status, the bytes read and their hash, or the error that ended it."""

    def __init__(self, session, url, host):
        self.session, self.url, self.host = session, url, host
        self.status, self.size, self.error = None, 0, None
        self.sha = hashlib.sha256()
        self.response = None

    async def start(self, first=0):
        """Sends the request and reads the headers, then at least `first` bytes of the body."""
        try:
            self.response = await self.session.get(self.url, headers={"Host": self.host})
            self.status = self.response.status
            while self.size < first and await self._read():
                pass
        except (aiohttp.ClientError, asyncio.TimeoutError, OSError) as e:
            self.error = repr(e)

    async def finish(self):
        try:
            if self.response is not None and self.error is None:
                while await self._read():
                    pass
        except (aiohttp.ClientError, asyncio.TimeoutError, OSError) as e:
            self.error = repr(e)
        finally:
            if self.response is not None:
                self.response.release()
        return self

    async def _read(self):
        chunk = await self.response.content.read(CHUNK)
        self.sha.update(chunk)
        self.size += len(chunk)
        return bool(chunk)

    def got(self, package):
        return self.error is None and self.status == 200 and self.sha.hexdigest() == package.sha

    def what(self, packages):
        if self.error:
            return f"no answer: {self.error}"
        names = [p.name for p in packages if self.status == 200 and self.sha.hexdigest() == p.sha]
        return f"status {self.status}, {self.size} bytes, " + (names[0] if names else "neither package")


class Package:
    def __init__(self, name, path):
        self.name, self.sha, self.size = name, hashlib.sha256(), 0
        with open(path, "rb") as f:
            while chunk := f.read(CHUNK):
                self.sha.update(chunk)
                self.size += len(chunk)
        self.sha = self.sha.hexdigest()


def session():
    # Every client its own connection, none kept for another request; no total time-out, as a client on
    # a slow link has none either, but one for a server that stops sending.
    connector = aiohttp.TCPConnector(limit=0, force_close=True)
    return aiohttp.ClientSession(connector=connector, timeout=aiohttp.ClientTimeout(total=None, sock_read=60),
                                 auto_decompress=False)


def target(url, server):
    parts = urlsplit(url)
    return f"http://{server}{parts.path or '/'}", parts.netloc


def report(label, clients, package, packages):
    bad = [c for c in clients if not c.got(package)]
    print(f"{label}: {len(clients) - len(bad)} of {len(clients)} got status 200 and the {package.name} whole")
    for c in bad[:5]:
        print(f"    {c.what(packages)}")
    return not bad


async def download_all(url, host, count):
    async with session() as s:
        clients = [Client(s, url, host) for _ in range(count)]
        began = time.monotonic()
        await asyncio.gather(*(c.start() for c in clients))
        await asyncio.gather(*(c.finish() for c in clients))
        return clients, time.monotonic() - began


async def fetch(url, server, package, count, runs):
    url, host = target(url, server)
    ok, figures = True, {"many": [], "one": [], "ratio": []}
    for run in range(1, runs + 1):
        many, many_time = await download_all(url, host, count)
        # One client alone, downloading again for at least a second, so that the figure is not a moment's.
        one, began = [], time.monotonic()
        while not one or time.monotonic() - began < 1:
            one += (await download_all(url, host, 1))[0]
        one_time = time.monotonic() - began
        ok = report(f"run {run}: {count} clients at once", many, package, [package]) and ok
        ok = report(f"run {run}: one client alone, {len(one)} times in a row", one, package, [package]) and ok
        figures["many"].append(sum(c.size for c in many) / many_time / MB)
        figures["one"].append(sum(c.size for c in one) / one_time / MB)
        figures["ratio"].append(figures["many"][-1] / figures["one"][-1])
        print(f"run {run}: {count} clients {figures['many'][-1]:.0f} MB/s in {many_time:.1f} s, one client"
              f" {figures['one'][-1]:.0f} MB/s, ratio {figures['ratio'][-1]:.2f}")
    print(f"download ({count} clients x {package.size / MB:.0f} MB at once), {runs} runs")
    for key, name, unit in (("many", f"{count} clients at once, aggregate", "MB/s"),
                            ("one", "one client alone", "MB/s"), ("ratio", "ratio", "x")):
        values = sorted(figures[key])
        print(f"  {name:<34} min {values[0]:9.3f}  median {values[len(values) // 2]:9.3f}  max {values[-1]:9.3f} {unit}")
    return ok


async def replace(url, server, old, new, count, command):
    url, host = target(url, server)
    async with session() as s:
        before = [Client(s, url, host) for _ in range(count)]
        await asyncio.gather(*(c.start(first=CHUNK) for c in before))
        print(f"{count} clients have the first {CHUNK} bytes; replacing the package")
        install = await asyncio.create_subprocess_exec(*command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        during = []

        async def ask_during():
            while install.returncode is None:
                client = Client(s, url, host)
                await client.start()
                during.append(await client.finish())

        asker = asyncio.create_task(ask_during())
        output, _ = await install.communicate()
        await asker
        lines = output.decode("utf-8", "replace").replace("\r", "").splitlines()
        sys.stdout.write("".join(f"    {line}\n" for line in lines if line.strip()))
        print(f"the replacing command ended with status {install.returncode}")
        after = [Client(s, url, host) for _ in range(count)]
        await asyncio.gather(*(c.start() for c in after), *(c.finish() for c in before))
        await asyncio.gather(*(c.finish() for c in after))
    ok = install.returncode == 0
    ok = report("started before", before, old, [old, new]) and ok
    ok = report("started after", after, new, [old, new]) and ok
    mixed = [c for c in during if not (c.got(old) or c.got(new))]
    print(f"asked during: {len(during) - len(mixed)} of {len(during)} got one package whole"
          f" ({sum(c.got(old) for c in during)} the old, {sum(c.got(new) for c in during)} the new)")
    for c in mixed[:5]:
        print(f"    {c.what([old, new])}")
    return ok and not mixed


def main(argv):
    if len(argv) >= 5 and argv[1] == "fetch":
        ok = asyncio.run(fetch(argv[2], argv[3], Package("package", argv[4]), int(argv[5]) if len(argv) > 5 else 500,
                               int(argv[6]) if len(argv) > 6 else 1))
    elif len(argv) >= 8 and argv[1] == "replace":
        ok = asyncio.run(replace(argv[2], argv[3], Package("old package", argv[4]), Package("new package", argv[5]),
                                 int(argv[6]), argv[7:]))
    else:
        print("\n".join(line.strip() for line in __doc__.splitlines() if "download-clients.py " in line), file=sys.stderr)
        return 2
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
