#!/usr/bin/env python3
"""Fails when an include climbs a layer or folders include each other in a circle.

Each top folder of the sources is a layer. A file may include its own folder and
the folders below it, never one above:

    app -> query -> listfiles, store -> shell -> fetch, survey, data, ranks -> base

Usage: check-layers.py [ROOT]   (ROOT: the project folder; default: this script's parent's parent)
Exit status 0 when every include points down and there is no circle, 1 otherwise.
"""
import os
import re
import sys

# The folders each folder may include, besides itself.
ALLOWED = {
    "base": set(),
    "data": {"base"},
    "fetch": {"base"},
    "survey": {"base"},
    "ranks": {"base"},
    "shell": {"base", "fetch"},
    "listfiles": {"base", "fetch", "shell"},
    "store": {"base", "fetch", "shell"},
    "query": {"base", "data", "fetch", "survey", "ranks", "shell", "listfiles", "store"},
    "app": {"base", "data", "fetch", "survey", "ranks", "shell", "listfiles", "store", "query"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/[^"]+"')


def scan(root):
    """Every include of another folder: (folder, file, line number, included folder)."""
    found = []
    for folder in sorted(ALLOWED):
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            continue
        for dirpath, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and m.group(1) != folder and os.path.isdir(os.path.join(root, m.group(1))):
                            found.append((folder, os.path.relpath(path, root), number, m.group(1)))
    return found


def circle(edges):
    """A circle in the folder graph as a list of folders, or None."""
    state = {}

    def visit(node, path):
        state[node] = 1
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, path + [nxt])
                if found:
                    return found
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    problems = []
    edges = {}
    for folder, path, number, target in scan(root):
        edges.setdefault(folder, set()).add(target)
        if target not in ALLOWED[folder]:
            problems.append(f"{path}:{number}: {folder}/ may not include {target}/ (it may include: {', '.join(sorted(ALLOWED[folder])) or 'nothing'})")
    found = circle(edges)
    if found:
        problems.append("folders include each other in a circle: " + " -> ".join(found))
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
