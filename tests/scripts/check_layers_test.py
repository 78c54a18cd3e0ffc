#!/usr/bin/env python3
"""The layer check passes on the project and fails on a planted upward include."""
import os
import subprocess
import sys
import tempfile

root = sys.argv[1]
script = os.path.join(root, "scripts", "check-layers.py")


def run(tree):
    return subprocess.run([sys.executable, script, tree], capture_output=True, text=True)


def plant(tree, files):
    for path, text in files.items():
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


failures = []
project = run(root)
if project.returncode != 0:
    failures.append("the project itself fails the check:\n" + project.stderr)

with tempfile.TemporaryDirectory() as tree:
    plant(tree, {
        "base/errors.h": "#pragma once\n",
        "query/engine.h": '#pragma once\n#include "shell/formstate.h"\n',
        "shell/formstate.h": "#pragma once\n",
    })
    clean = run(tree)
    if clean.returncode != 0:
        failures.append("a tree whose includes point down fails:\n" + clean.stderr)
    plant(tree, {"shell/formstate.cpp": '#include "shell/formstate.h"\n\n#include "query/engine.h"\n'})
    upward = run(tree)
    if upward.returncode == 0 or "shell/formstate.cpp:3" not in upward.stderr:
        failures.append("an upward include from shell/ to query/ passes or is not named:\n" + upward.stderr)
    if "circle" not in upward.stderr:
        failures.append("the circle query <-> shell is not named:\n" + upward.stderr)

for f in failures:
    print(f, file=sys.stderr)
sys.exit(1 if failures else 0)
