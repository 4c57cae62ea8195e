#!/usr/bin/env bash
# Starts the desktop program under Xvfb (a real X server) in a fresh directory,
# lets it run for a few seconds, then sends SIGTERM. Fails when it crashes,
# when it does not end cleanly, or when its close sequence did not run (with
# AutoSave on, closing writes the window's metrics to Bot.ini).
# Usage: scripts/window_smoke.sh [path/to/tolvik] [seconds]
set -euo pipefail
program=${1:-build/tolvik}
seconds=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[Toggles]\r\nAutoSave=1\r\n' > "$work/Bot.ini"
status=0
xvfb-run -a -s '-screen 0 1280x900x24' sh -c '
  "$0" --dir "$1" & pid=$!
  sleep "$2"
  kill -0 "$pid" || { wait "$pid"; echo "tolvik ended early: status $?"; exit 1; }
  kill -TERM "$pid"
  wait "$pid"' "$program" "$work" "$seconds" || status=$?
if [ "$status" -ne 0 ]; then
  echo "tolvik did not end cleanly: status $status" >&2
  exit 1
fi
if ! grep -q '^Metrics=' "$work/Bot.ini"; then
  echo "tolvik's close sequence did not run: no [Window] Metrics in Bot.ini" >&2
  cat "$work/Bot.ini" >&2
  exit 1
fi
echo "tolvik started under Xvfb and closed cleanly on SIGTERM"
