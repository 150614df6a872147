#!/usr/bin/env bash
# Runs the X11 GUI tests inside Xvfb with a tray host; skipped (77) where Xvfb is missing.
set -u
bin=$1
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed: X11 tests skipped"; exit 77; }
# No session bus: notices go to the tray balloon these tests look for.
exec env -u DBUS_SESSION_BUS_ADDRESS xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  if command -v trayer >/dev/null; then trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & fi
  sleep 1
  "$0"' "$bin"
