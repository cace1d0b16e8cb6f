#!/usr/bin/python3
"""Fails when a source file includes a header from a folder above its own.

usage: include_order.py ROOT LAYER...   (layers bottom-up, e.g. platform audio ... app)
"""
import os
import re
import sys

INCLUDE = re.compile(r'\s*#\s*include\s+"([A-Za-z0-9_]+)/')


def UpwardIncludes(root, layers):
    rank = {name: i for i, name in enumerate(layers)}
    found = []
    for layer in layers:
        folder = os.path.join(root, layer)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            with open(path, errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m and m.group(1) in rank and rank[m.group(1)] > rank[layer]:
                        found.append(f"{layer}/{name}:{number}: includes {m.group(1)}/, above {layer}/")
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    root, layers = sys.argv[1], sys.argv[2:]
    missing = [l for l in layers if not os.path.isdir(os.path.join(root, l))]
    if missing:
        sys.exit(f"include_order: no folder {', '.join(missing)} under {root}")
    found = UpwardIncludes(root, layers)
    for line in found:
        print(line)
    print(f"include_order: {' < '.join(layers)}: {len(found)} upward include(s)")
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
