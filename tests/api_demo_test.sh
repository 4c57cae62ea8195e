#!/usr/bin/env bash
# The demo channel over the chat API, headless: tolvik-cli against the demo
# gateway's TLS WebSocket front with the demo's own CA. Within the time the
# bot must enter the channel, greet, kick the flooder and ban the auto-banned
# user (confirmed by the API's answers), answer a whispered command and run
# the dice script; on SIGTERM it sends its Leave line, then the disconnect
# request, and the gateway ends with it.
# Usage: tests/api_demo_test.sh BUILD_DIR [seconds]
set -euo pipefail
build=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")/.." && pwd)
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT

status=0
"$here/scripts/demo.sh" --cli --api --seconds "$seconds" --build "$build" --dir "$demo" > "$demo/out.txt" 2>&1 || status=$?
fail=0
expect() {
  grep -qF -- "$2" "$demo/$1" || { echo "FAIL: $1 lacks: $2" >&2; fail=1; }
}
[ "$status" -eq 0 ] || { echo "FAIL: demo.sh ended with status $status" >&2; fail=1; }
expect out.txt "-- Status: Connected: wss://127.0.0.1:"
expect out.txt "Joining Channel: Tolvik Demo"
expect out.txt "<TolvikBot> Welcome back, Kestrel!"
expect gateway.log "Warning (repeat): repeating the same line"
expect out.txt "Spamalot was kicked out of the channel by TolvikBot."
expect out.txt "Grief was banned by TolvikBot."
expect out.txt "Command from Pebble: /level"
expect gateway.log "<< /msg Pebble You are level 1"
expect gateway.log "<< Moss rolls "
expect gateway.log "The demo is over, bye all."
expect gateway.log "Botapichat.DisconnectRequest"
expect gateway.log "-- the client disconnected"
# The API key is never shown.
if grep -q "Password=demo" "$demo/out.txt" || grep -q '"api_key"' "$demo/gateway.log"; then
  echo "FAIL: the API key was shown" >&2; fail=1
fi
if [ "$fail" -ne 0 ]; then
  echo "--- bot output"; cat "$demo/out.txt"; echo "--- gateway log"; cat "$demo/gateway.log"
  exit 1
fi
echo "demo channel over the chat API: greeting, kick, ban, level reply and script answer within ${seconds} s"
