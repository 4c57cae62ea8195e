#!/usr/bin/env bash
# The demo channel headless: tolvik-cli against the demo gateway for a while.
# Within that time the bot must enter the channel, greet, kick the flooder,
# ban the auto-banned user and run the dice script; on SIGTERM it leaves with
# its Leave line and ends cleanly, and the gateway ends with it.
# Usage: tests/demo_test.sh BUILD_DIR [seconds]
set -euo pipefail
build=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")/.." && pwd)
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT

status=0
"$here/scripts/demo.sh" --cli --seconds "$seconds" --build "$build" --dir "$demo" > "$demo/out.txt" 2>&1 || status=$?
fail=0
expect() {
  grep -qF -- "$2" "$demo/$1" || { echo "FAIL: $1 lacks: $2" >&2; fail=1; }
}
[ "$status" -eq 0 ] || { echo "FAIL: demo.sh ended with status $status" >&2; fail=1; }
expect out.txt "Joining Channel: Tolvik Demo"
expect out.txt "-- Status: Connected"
expect out.txt "<TolvikBot> Welcome back, Kestrel!"
expect gateway.log "<< /msg Spamalot Warning (repeat): repeating the same line"
expect out.txt "Spamalot was kicked out of the channel by TolvikBot (flooding (more than 5 lines in 6 seconds))."
expect moderation.log "	flood	kick	Spamalot	flooding (more than 5 lines in 6 seconds)	confirmed"
expect out.txt "Grief was banned by TolvikBot (You are auto-banned from this channel!)."
expect out.txt "Command from Pebble: /level"
expect gateway.log "<< /msg Pebble You are level 1"
expect gateway.log "<< Moss rolls "
expect gateway.log "<< The demo is over, bye all."
expect gateway.log "-- the client disconnected"
# Without a terminal the output is plain text.
if grep -q $'\e\[' "$demo/out.txt"; then echo "FAIL: colour escapes without a terminal" >&2; fail=1; fi
if [ "$fail" -ne 0 ]; then
  echo "--- bot output"; cat "$demo/out.txt"; echo "--- gateway log"; cat "$demo/gateway.log"
  exit 1
fi
echo "demo channel: greeting, kick, ban, level reply and script answer within ${seconds} s"
