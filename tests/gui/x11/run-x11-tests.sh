#!/usr/bin/env bash
# Runs the X11 GUI tests inside Xvfb with a tray host; skipped (77) where Xvfb is missing.
set -u
bin=$1
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed: X11 tests skipped"; exit 77; }
# A session bus that cannot be reached: notices go to the tray balloon these tests look for.
# (Left unset, the D-Bus library would launch a bus of its own, which can start a notification
# daemon installed on the machine, and the balloon would never come.)
exec env DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tovidesk-tests-no-bus xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  if command -v trayer >/dev/null; then trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & fi
  sleep 1
  "$0"' "$bin"
