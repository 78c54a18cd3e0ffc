#!/bin/sh
# Installs every Debian package that building, running and testing prquery needs.
# Does nothing when they are all present.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-declarative-dev qt6-qpa-plugins qt6-translations-l10n
libre2-dev libgumbo-dev libcurl4-openssl-dev libssl-dev libcpp-httplib-dev libpsl-dev
libabsl-dev zlib1g-dev libxxhash-dev libsqlite3-dev qt6-charts-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev
clang-format git
xvfb xauth fonts-noto-cjk
python3"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "installing:$missing" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
