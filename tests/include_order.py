#!/usr/bin/python3
"""Fails when a source file includes a header from a folder above its own.

usage: include_order.py ROOT LAYER...   (layers bottom-up, e.g. platform audio ... app)
"""
import os
import re
import sys

INCLUDE = re.compile(r'\s*#\s*include\s+"([A-Za-z0-9_]+)/')


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    root, layers = sys.argv[1], sys.argv[2:]
    rank = {name: i for i, name in enumerate(layers)}
    missing = [layer for layer in layers if not os.path.isdir(os.path.join(root, layer))]
    if missing:
        sys.exit(f"include_order: no folder {', '.join(missing)} under {root}")
    found = []
    for layer in layers:
        for name in sorted(n for n in os.listdir(os.path.join(root, layer)) if n.endswith((".h", ".cpp"))):
            with open(os.path.join(root, layer, name), errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m and rank.get(m.group(1), -1) > rank[layer]:
                        found.append(f"{layer}/{name}:{number}: includes {m.group(1)}/, above {layer}/")
    print("\n".join(found + [f"include_order: {' < '.join(layers)}: {len(found)} upward include(s)"]))
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
