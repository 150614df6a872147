#!/usr/bin/env bash
# Runs the X11 GUI tests inside Xvfb with a tray host; skipped (77) where Xvfb is missing.
# Twice: with a session bus that cannot be reached, and with a private bus of the tests' own,
# so that what reaches the user never depends on a notification daemon installed here.
set -u
bin=$1
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed: X11 tests skipped"; exit 77; }
run() {
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    if command -v trayer >/dev/null; then trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & fi
    sleep 1
    "$0"' "$bin"
}
# No bus: left unset, the D-Bus library would launch one that can start an installed daemon.
DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tovidesk-tests-no-bus TOVI_TEST_PRIVATE_BUS=0 run || exit $?
command -v dbus-daemon >/dev/null || { echo "dbus-daemon is not installed: the private-bus run is skipped"; exit 0; }
dir=$(mktemp -d)
bus=
trap '[ -n "$bus" ] && kill "$bus" 2>/dev/null; rm -rf "$dir"' EXIT
cat > "$dir/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
CONF
dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile --print-address=3 3>"$dir/address" &
bus=$!
for _ in $(seq 50); do [ -s "$dir/address" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$dir/address") TOVI_TEST_PRIVATE_BUS=1 run
