#!/bin/sh
# Fails when a source file is not as .clang-format would write it; names them.
# Third-party code keeps its own form.
set -eu
cd "$(dirname "$0")/.."
bad=$(git ls-files '*.cpp' '*.h' | grep -v '^third_party/' | while read -r f; do
    clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$bad" ]; then
    echo "not formatted (run clang-format -i on them):" >&2
    echo "$bad" | sed 's/^/  /' >&2
    exit 1
fi
