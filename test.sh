#!/bin/sh
# Installs what is missing, builds, and runs every test: a normal build, one
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the fetch tests
# under ThreadSanitizer.
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh
exec make test
