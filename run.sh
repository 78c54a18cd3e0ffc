#!/bin/sh
# Installs what is missing, builds, and starts the window. Arguments go to the
# program, for example: ./run.sh --servers my-servers.txt --banner none
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh
make build
exec ./scripts/run-window.sh ./build/app/prquery "$@"
