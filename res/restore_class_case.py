#!/usr/bin/env python3
"""Gives window class names in a compiled resource object back the case they were written in.

windres stores every class name of a dialog control in upper case, where rc.exe keeps it as written. The
platform matches class names without regard to case, but a template should hold the name the class was
registered under. Each name must occur at least once, so a name that no longer matches is noticed.
Usage: restore_class_case.py <object file> <class name>...
"""
import sys


def main():
    path, names = sys.argv[1], sys.argv[2:]
    with open(path, 'rb') as f:
        data = f.read()
    for name in names:
        # Zero-terminated UTF-16LE, as a class name is stored in a dialog item template.
        stored = (name.upper() + '\0').encode('utf-16-le')
        if stored not in data:
            sys.exit('%s: no class name %s found' % (path, name.upper()))
        data = data.replace(stored, (name + '\0').encode('utf-16-le'))
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
