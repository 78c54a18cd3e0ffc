#!/bin/sh
# Starts the window on the current display, or under Xvfb when there is none.
set -eu
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$@"
fi
echo "no display: starting under Xvfb (xvfb-run)" >&2
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
