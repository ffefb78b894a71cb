#!/usr/bin/env python3
"""metabase_values.py <MetaBase.xml> [<key to leave out>...]

Prints every value of a store, one line each, sorted by key, so two stores diff by meaning rather than layout:
the key, the element or Custom identifier it belongs to, the attribute and one entry of its value (the
lines of a multi-line value are its entries; their indentation is layout). Read from the text itself: an
XML parser hands line breaks inside attribute values on as spaces, which would hide the very loss
looked for. Keys left out go with the keys below them.
"""
import html
import re
import sys


def values(text, left_out):
    key, found = "", []
    for element, attributes in re.findall(r'<([\w.-]+)((?:\s+[\w:]+\s*=\s*"[^"]*")*)\s*/?>', text):
        pairs = dict(re.findall(r'([\w:]+)\s*=\s*"([^"]*)"', attributes))
        if "Location" in pairs:
            key, owner = pairs.pop("Location"), element
        elif element == "Custom":
            owner = "Custom " + pairs.pop("ID", "?")
        else:
            continue
        if any(key == k or key.startswith(k.rstrip("/") + "/") for k in left_out):
            continue
        found.append((f"{key} {owner}", ""))
        for name, value in pairs.items():
            lines = [line.strip(" \t") for line in re.split(r"\r\n|\r|\n", html.unescape(value))]
            found += [(f"{key} {owner} {name}:", line) for line in lines if line] or [(f"{key} {owner} {name}:", "")]
    # Sorted by where each value is, its entries left in their order.
    return [f"{where} {line}".rstrip() for where, line in sorted(found, key=lambda value: value[0])]


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8-sig") as f:
        print("\n".join(values(f.read(), sys.argv[2:])))
