#!/usr/bin/env python3
"""Turns what `mdutil export-web` prints into an nginx configuration that answers as IIS would.

  nginx-conf.py <export.tsv> <wine prefix> <runtime dir> [--free-ports]

Writes <runtime dir>/nginx.conf and <runtime dir>/ports ("<binding port> <served port>" per line) and
prints one line per site: where it is served, or why it is not. A site that cannot be served (a binding
without a port, a folder outside the Wine prefix) is left out; the others are still served.

A binding's port is served as it is unless it is taken or not permitted; then a free port stands in for
it, and the report says which. --free-ports gives every port a free stand-in (tests, which must not
depend on port 80). A ports file left by the running server is kept, so a reload never moves a port.
"""
import errno
import os
import re
import resource
import socket
import sys

# What IIS 6 maps for a download site, for a store that holds no MIME map of its own (a new stand-in store);
# a real one's /LM/MimeMap comes with the export.
DEFAULT_MIME = {".htm": "text/html", ".html": "text/html", ".css": "text/css", ".js": "application/x-javascript",
                ".txt": "text/plain", ".gif": "image/gif", ".png": "image/png", ".jpg": "image/jpeg",
                ".jpeg": "image/jpeg", ".ico": "image/x-icon", ".exe": "application/octet-stream",
                ".msi": "application/octet-stream", ".zip": "application/x-zip-compressed"}
MD_ACCESS_READ = 0x1
MD_DIRBROW_LOADDEFAULT = 0x40000000


class Unservable(Exception):
    pass


def parse_export(lines):
    """Sites in the order of the export, {number: {"name", "bindings", "dirs"}}, and the MIME map
    {".ext": type} (empty when the store has none)."""
    sites, mime = {}, {}
    for line in lines:
        fields = line.rstrip("\r\n").split("\t")
        if fields[0] == "mime" and len(fields) == 3:
            mime[fields[1].strip().lower()] = fields[2].strip()
        elif fields[0] == "site" and len(fields) == 3:
            sites[fields[1]] = {"name": fields[2], "bindings": [], "dirs": []}
        elif fields[0] == "binding" and len(fields) == 3 and fields[1] in sites:
            sites[fields[1]]["bindings"].append(fields[2])
        elif fields[0] == "dir" and len(fields) == 7 and fields[1] in sites:
            sites[fields[1]]["dirs"].append(fields[2:])
    return sites, mime


def served_types(mime):
    """{type: [extension...]} for nginx's types block, and the extensions IIS serves (None: every one, as
    a wildcard entry says). Entries nginx could not take in its configuration are left out."""
    types = {}
    for ext, kind in (mime or DEFAULT_MIME).items():
        if ext in ("*", ".*"):
            return types, None
        if re.fullmatch(r"\.[a-z0-9_+~-]+", ext) and re.fullmatch(r"[\w.+-]+/[\w.+-]+", kind):
            types.setdefault(kind, []).append(ext[1:])
    return types, [ext for exts in types.values() for ext in exts]


def parse_binding(binding):
    """IP:Port:Host -> (ip or "", port, host or "")."""
    parts = binding.split(":", 2)
    if len(parts) < 3:
        raise Unservable(f'binding "{binding}" is not IP:Port:Host')
    ip, port, host = parts
    if not port.isdigit() or not 0 < int(port) < 65536:
        raise Unservable(f'binding "{binding}" has no port' if not port else f'binding "{binding}" has no valid port')
    if host and not re.fullmatch(r"[A-Za-z0-9.-]+", host):
        raise Unservable(f'binding "{binding}" has a host header nginx cannot match')
    return ip, int(port), host.lower()


def unix_path(windows_path, prefix):
    """C:\\dir\\sub -> the folder behind it in the prefix's drive mapping, matching names as Windows does."""
    path = re.sub(r"(?i)^%SystemDrive%", "C:", windows_path)
    match = re.fullmatch(r"([A-Za-z]):(?:[\\/](.*))?", path)
    if not match:
        raise Unservable(f'folder "{windows_path}" is not a local path')
    drive = os.path.join(prefix, "dosdevices", match.group(1).lower() + ":")
    if not os.path.exists(drive):
        raise Unservable(f'folder "{windows_path}": drive {match.group(1).upper()}: is not mapped')
    current = os.path.realpath(drive)
    for name in re.split(r"[\\/]+", match.group(2) or ""):
        if name in ("", "."):
            continue
        if name == "..":
            current = os.path.dirname(current)
            continue
        if not os.path.exists(os.path.join(current, name)) and os.path.isdir(current):
            name = next((n for n in os.listdir(current) if n.lower() == name.lower()), name)
        current = os.path.join(current, name)
    root = os.path.realpath(prefix)
    current = os.path.realpath(current)
    if not current.startswith(root + os.sep):
        raise Unservable(f'folder "{windows_path}" is outside the Wine prefix')
    if re.search(r'[$"\\{};\x00-\x1f]', current):
        raise Unservable(f'folder "{windows_path}" has characters nginx cannot take in a path')
    return current


def location(url, folder, access, docs, browse, exts):
    lines = [f"        location {url} {{"]
    if url != "/":
        lines.insert(0, f"        location = {url.rstrip('/')} {{ return 301 {url}; }}")
    if not access.isdigit() or not int(access) & MD_ACCESS_READ:
        lines.append("            return 403;")
    else:
        lines.append(f'            alias "{folder}/";')
        names = [d.strip() for d in docs.split(",") if d.strip()] if docs != "-" else []
        names = [n for n in names if re.fullmatch(r"[^\s$\"/\\{};]+", n)]
        if names and (browse == "-" or int(browse) & MD_DIRBROW_LOADDEFAULT):
            lines.append("            index " + " ".join(names) + ";")
        else:
            lines.append("            location ~ /$ { return 403; }")
        if exts is not None:
            # A file is served only when the MIME map knows its extension, as IIS 6 does (404 otherwise):
            # the copies a run has on their way (.tmp) among them. A name without one may be a folder, which
            # nginx redirects to its address with a slash.
            known = "|".join(sorted(exts)) or "(?!)"
            lines.append(f'            location ~* "\\.(?!(?:{known})$)[^./]*$" {{ return 404; }}')
            lines.append("            location ~ /[^./]+$ { if (!-d $request_filename) { return 404; } }")
    lines.append("        }")
    return lines


def port_usable(ip, port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind((ip or "0.0.0.0", port))
        except PermissionError:
            return "not permitted"
        except OSError as e:
            return "taken" if e.errno == errno.EADDRINUSE else os.strerror(e.errno)
    return ""


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


# Why these rules are not the dialog's (app/SiteAddress.cpp): the dialog only shows the address a binding
# stands for, and takes any binding as it is written. nginx has to listen on this machine for real, as
# whatever user runs it: it cannot bind an address the machine does not have, a port another program holds
# or one below 1024 without the right to, nor match a host header outside its server_name syntax, and two
# sites cannot both claim one IP:Port:Host. So a binding that cannot be served here is reported and left out
# (or its port moved), where the dialog would still show its address.
def plan(sites, prefix, served, free_all):
    """Which binding of which site nginx serves, on which port: (servers, report). served maps a binding's
    port to the port serving it; ports not in it yet are added."""
    servers, claimed, report = [], {}, []
    for number, site in sites.items():
        title = f'site {number} "{site["name"]}"'
        try:
            if not site["bindings"]:
                raise Unservable("it has no binding")
            bindings = [(b, *parse_binding(b)) for b in site["bindings"]]
            dirs = [(url, unix_path(path, prefix), access, docs, browse)
                    for url, path, access, docs, browse in site["dirs"]]
            if not any(d[0] == "/" for d in dirs):
                raise Unservable("its ROOT has no folder")
        except Unservable as why:
            report.append(f"{title}: not served: {why}")
            continue
        for text, ip, port, host in bindings:
            if (ip, port, host) in claimed:
                report.append(f'{title}: binding "{text}" not served: site {claimed[(ip, port, host)]} has it')
                continue
            if ip and port_usable(ip, 0):
                report.append(f'{title}: binding "{text}" not served: {ip} is not an address of this machine')
                continue
            if port not in served:
                why = "" if free_all else port_usable(ip, port)
                served[port] = free_port() if free_all or why else port
                if why:
                    report.append(f"{title}: port {port} is {why}: serving it on port {served[port]}")
            listen = f"{ip}:{served[port]}" if ip else str(served[port])
            claimed[(ip, port, host)] = number
            servers.append({"title": title, "listen": listen, "host": host, "dirs": dirs})
            urls = " ".join(sorted(d[0] for d in dirs))
            report.append(f'{title}: binding "{text}" on port {served[port]}, serving {urls}')
    return servers, report


# Sized for the morning the whole network downloads the client at once, from what this machine allows:
# - one worker per core: with sendfile a worker mostly waits on sockets, so more would only share the cores;
# - a download holds two descriptors, its socket and the open package, so a worker takes the whole
#   open-file limit the server starts with and half of it in connections (the kernel may hand every new
#   connection to the same worker); whoever waits beyond that waits in a listen backlog as deep as the
#   system lets it be, instead of being closed unanswered;
# - sendfile: the package goes from the page cache to the socket without passing through the worker, a
#   chunk at a time, so one fast client never holds a worker while the others wait;
# - no open_file_cache: a cached descriptor would go on serving a package that Install has replaced.
def machine_limits():
    """(worker processes, open files per worker, connections per worker, listen backlog)."""
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    files = 1 << 20 if hard == resource.RLIM_INFINITY else min(hard, 1 << 20)
    try:
        with open("/proc/sys/net/core/somaxconn") as f:
            backlog = int(f.read())
    except (OSError, ValueError):
        backlog = 511
    return os.cpu_count() or 1, files, max(64, min(files // 2 - 16, 16384)), min(backlog, 65535)


def render(servers, run, mime):
    """nginx.conf's lines for the planned servers, everything of the server kept below run."""
    workers, files, connections, backlog = machine_limits()
    types, exts = served_types(mime)
    blocks = []
    for server in servers:
        host = server["host"]
        body = [f"        # {server['title']}"]
        for d in sorted(server["dirs"], key=lambda d: d[0]):
            body += location(*d, exts)
        default = "" if host else f" default_server backlog={backlog}"
        blocks.append([f"    server {{", f"        listen {server['listen']}{default};",
                       f'        server_name "{host}";'] + body + ["    }"])
    # A port without a binding for any name answers unknown names with 400, as IIS does.
    listens = {server["listen"] for server in servers}
    defaults = {server["listen"] for server in servers if not server["host"]}
    for listen in sorted(listens - defaults):
        blocks.append([f"    server {{ listen {listen} default_server backlog={backlog}; return 400; }}"])

    conf = [f"# Sized from this machine: {workers} cores, {files} open files (scripts/nginx-conf.py says why).",
            f"worker_processes {workers};", f"worker_rlimit_nofile {files};", f"pid {run}/nginx.pid;",
            f"error_log {run}/logs/error.log;", f"events {{ worker_connections {connections}; }}",
            "http {", f"    access_log {run}/logs/access.log;",
            *(f"    {k}_temp_path {run}/tmp/{k};" for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi")),
            "    sendfile on;", "    sendfile_max_chunk 1m;", "    tcp_nopush on;",
            "    types {", *(f"        {t} {' '.join(sorted(e))};" for t, e in sorted(types.items())), "    }",
            "    default_type application/octet-stream;", "    autoindex off;", "    absolute_redirect off;",
            "    server_tokens off;"]
    for block in blocks:
        conf += block
    conf.append("}")
    return conf


def write(run, conf, served):
    """nginx.conf, the ports file and the folders nginx writes to."""
    os.makedirs(os.path.join(run, "logs"), exist_ok=True)
    os.makedirs(os.path.join(run, "tmp"), exist_ok=True)
    with open(os.path.join(run, "nginx.conf"), "w") as f:
        f.write("\n".join(conf) + "\n")
    with open(os.path.join(run, "ports"), "w") as f:
        f.writelines(f"{a} {b}\n" for a, b in sorted(served.items()))


def main(argv):
    if len(argv) not in (4, 5) or (len(argv) == 5 and argv[4] != "--free-ports"):
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    export, prefix, runtime = argv[1:4]
    free_all = len(argv) == 5
    with open(export, encoding="utf-8") as f:
        sites, mime = parse_export(f)
    run = os.path.abspath(runtime)
    ports_file = os.path.join(run, "ports")
    served = {}
    if os.path.exists(ports_file):
        with open(ports_file) as f:
            served = {int(a): int(b) for a, b in (line.split() for line in f if line.strip())}

    servers, report = plan(sites, prefix, served, free_all)
    write(run, render(servers, run, mime), served)
    for line in report or ["no web site in the metabase: nothing to serve"]:
        print("nginx: " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
