#!/usr/bin/env bash
# Prepares the program directory (a starter tovi.sdb and tovimo.ini when none exist) and starts the program.
set -euo pipefail
bin=${1:-build/bin}
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$bin/tovidesk-cli"

if [ ! -e "$bin/tovi.sdb" ]; then
  "$cli" --dir "$bin" init --samples "$root/resources/sample-plans.sql"
fi
if [ ! -e "$bin/tovimo.ini" ]; then
  "$cli" --dir "$bin" settings set 类别 "<论坛><新闻>"
  "$cli" --dir "$bin" settings set 频率 "60"
fi

if [ -x "$bin/tovidesk" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display to open the window on. Try: xvfb-run -a make run   (or use $cli, see README)" >&2
    exit 1
  fi
  exec "$bin/tovidesk"
fi
cat <<MSG

The desktop window is not built yet; the program runs headless through tovidesk-cli:
  $cli --dir $bin plans                 list the plans
  $cli --dir $bin test --plan 1         try a plan against its page
  $cli --dir $bin run --plan 1          one pass over a plan
  $cli --dir $bin articles              the newest 100 articles
  $cli --dir $bin --help                all commands
MSG
"$cli" --dir "$bin" plans
