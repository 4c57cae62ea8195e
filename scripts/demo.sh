#!/usr/bin/env bash
# A demo channel: starts our own small chat gateway on 127.0.0.1, which plays
# a lively channel, and the bot against it in a fresh demo directory (Bot.ini,
# users.lst, autoban.lst, responses, script.ini and a Tcl script). With a
# display ($DISPLAY or $WAYLAND_DISPLAY) that is the window tolvik, otherwise
# the terminal program tolvik-cli. Closing the bot ends the gateway too.
# Usage: scripts/demo.sh [--cli] [--api] [--seconds N] [--dir DIR] [--build DIR]
#   --cli        the terminal program even with a display
#   --api        the same channel over the chat API (TLS WebSocket and JSON),
#                with a CA made for the demo and named by [Init] CAFile
#   --seconds N  stop the bot after N seconds (SIGTERM, its close sequence)
#   --dir DIR    the demo directory (default: a new one under /tmp); its files
#                are replaced by the demo's
#   --build DIR  take the programs from DIR as they are (default: install what
#                is missing and build them in build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=tolvik-cli
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  program=tolvik
fi
seconds=""
api=""
demo=""
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cli) program=tolvik-cli ;;
    --api) api=1 ;;
    --seconds) seconds=$2; shift ;;
    --dir) demo=$2; shift ;;
    --build) build=$2; shift ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "demo.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "$build" ]; then
  (cd "$root" && scripts/deps.sh && cmake -S . -B build -G Ninja >/dev/null &&
     cmake --build build --target tolvik-demo-gateway "$program")
  build=$root/build
fi
for p in tolvik-demo-gateway "$program"; do
  [ -x "$build/$p" ] || { echo "demo.sh: no $build/$p" >&2; exit 1; }
done

if [ -z "$demo" ]; then
  demo=$(mktemp -d "${TMPDIR:-/tmp}/tolvik-demo.XXXXXX")
fi
mkdir -p "$demo"
cp -R "$root/tools/demo_gateway/channel/." "$demo/"
rm -f "$demo/gateway.port"

api_args=()
if [ -n "$api" ]; then
  # A CA of the demo's own and a certificate it signed for 127.0.0.1.
  (cd "$demo" &&
     openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=TolvikDemoCA -keyout ca.key -out ca.pem &&
     openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr &&
     printf 'subjectAltName=IP:127.0.0.1\n' > san.ext &&
     openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext \
       -out server.pem) >/dev/null 2>&1 || { echo "demo.sh: openssl could not make the demo CA" >&2; exit 1; }
  api_args=(--api "$demo/server.pem" "$demo/server.key")
fi
"$build/tolvik-demo-gateway" --port 0 --port-file "$demo/gateway.port" --verbose "${api_args[@]}" \
  >/dev/null 2>"$demo/gateway.log" &
gateway=$!
bot=""
cleanup() {
  [ -n "$bot" ] && kill -TERM "$bot" 2>/dev/null
  # The gateway ends by itself once the bot has gone; make sure of it.
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$gateway" 2>/dev/null || return 0
    sleep 0.3
  done
  kill -TERM "$gateway" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for _ in $(seq 50); do
  [ -s "$demo/gateway.port" ] && break
  kill -0 "$gateway" 2>/dev/null || { cat "$demo/gateway.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$demo/gateway.port" ] || { echo "demo.sh: the gateway did not start" >&2; exit 1; }
port=$(cat "$demo/gateway.port")
if [ -n "$api" ]; then
  sed -e "s|@SERVER@|wss://127.0.0.1:$port/v1/rpc/chat|" -e "/^Server=/a CAFile=$demo/ca.pem" "$demo/Bot.ini.in" > "$demo/Bot.ini"
else
  sed "s/@SERVER@/127.0.0.1:$port/" "$demo/Bot.ini.in" > "$demo/Bot.ini"
fi
rm -f "$demo/Bot.ini.in"
chmod 600 "$demo/Bot.ini"

echo "Demo channel \"Tolvik Demo\" on 127.0.0.1:$port, bot files in $demo"
echo "(what the gateway saw: $demo/gateway.log)"
status=0
if [ -n "$seconds" ]; then
  "$build/$program" --dir "$demo" </dev/null &
  bot=$!
  for _ in $(seq "$((seconds * 10))"); do
    kill -0 "$bot" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$bot" 2>/dev/null || true
  wait "$bot" || status=$?
  bot=""
else
  "$build/$program" --dir "$demo" || status=$?
fi
exit "$status"
