#!/usr/bin/env bash
# Cost side by side: tolvik-cli against irssi in a terminal, tolvik
# against hexchat under an X server (one Xvfb each), every program on a
# server of its own on 127.0.0.1 (bench/idle_server.py: the text gateway for
# ours, IRC for the peers).
# Idle: each program sits in a channel of ten users. Wake-ups are the context
# switches of every thread of the process (from /proc/PID/task/*/status), CPU
# the run time of every thread (schedstat), both over the idle time after a
# settling pause.
# Crowd (the two windows): each logs in and waits, settles, and then is put in
# a channel of 1,000 users followed at once by 5,000 chat lines. CPU is the
# run time of every thread from just before the channel is sent until the
# window has been quiet for a second; memory is the peak resident size
# (VmHWM) of the window, and of the script host beside ours.
# Three runs each; the table shows medians and the ratio ours / peer. Runs by
# hand, not in CI; installs irssi and hexchat from Debian when missing (as root).
# Usage: bench/peers.sh [--build DIR] [--seconds N] [--runs N] [--only PROGRAM]
#                       [--measure idle|crowd|both] [--before DIR]
# --before DIR also takes the crowd with the window built in DIR (an older
# build, for a before/after table in the same run). With CROWD_SHOT=PREFIX
# set, each window's screen is saved after the crowd as PREFIX.NAME.RUN.png
# (ImageMagick's import).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
seconds=30
runs=3
settle=12  # longer than a caret's blinking after the last input (10 s in both windows)
only=""
measure_what=both
before=""
crowd_users=1000
crowd_lines=5000
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --runs) runs=$2; shift ;;
    --only) only=$2; shift ;;
    --measure) measure_what=$2; shift ;;
    --before) before=$2; shift ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "peers.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done
for p in tolvik tolvik-cli; do
  [ -x "$build/$p" ] || { echo "peers.sh: no $build/$p (build it first)" >&2; exit 1; }
done

missing=()
command -v irssi >/dev/null || missing+=(irssi)
command -v hexchat >/dev/null || missing+=(hexchat)
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v python3 >/dev/null || missing+=(python3)
command -v xdotool >/dev/null || missing+=(xdotool)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]} ..." >&2
  apt-get update -qq >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# X displays of this run (two runs side by side do not meet).
display_base=$((200 + ($$ % 100) * 10))
port=""
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvik-peers.XXXXXX")
chmod 755 "$work"
# The chat clients refuse to settle down as root (hexchat opens a dialog):
# as root every measured program runs as nobody.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Context switches of every thread of $1, one "TID COUNT" line per thread.
switches() {
  local f
  for f in /proc/"$1"/task/*/status; do
    awk -v f="$f" '/^(voluntary|nonvoluntary)_ctxt_switches:/ {s += $2}
      END {split(f, p, "/"); print p[5], s + 0}' "$f" 2>/dev/null || true
  done
}
# The growth between two such snapshots: a thread that started meanwhile
# counts in full; one that ended takes its count with it.
delta() {
  awk 'NR == FNR {before[$1] = $2; next} {d += $2 - (($1 in before) ? before[$1] : 0)} END {print d + 0}' \
    <(printf '%s\n' "$1") <(printf '%s\n' "$2")
}
# CPU time of every thread of $1 in nanoseconds, one "TID NS" line per thread.
cpuns() {
  local f
  for f in /proc/"$1"/task/*/schedstat; do
    awk -v f="$f" '{split(f, p, "/"); print p[5], $1}' "$f" 2>/dev/null || true
  done
}

# Waits for a file to appear (a port file, a log line) for up to 20 s.
wait_for() {
  local i
  for i in $(seq 200); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "peers.sh: timed out waiting for $1" >&2
  return 1
}

start_server() {  # proto dir [server options...]; sets port and server_pid
  python3 "$root/bench/idle_server.py" --proto "$1" --port-file "$2/port" --joined-file "$2/joined" "${@:3}" \
    >/dev/null 2>"$2/server.log" &
  server_pid=$!
  pids+=($!)
  wait_for "$2/port"
  port=$(cat "$2/port")
}

start_xvfb() {  # display number
  Xvfb ":$1" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  wait_for "/tmp/.X11-unix/X$1" 2>/dev/null || [ -S "/tmp/.X11-unix/X$1" ]
}

# Measures process $1 over $seconds once it is in the channel ($2/joined)
# and has settled: prints "wakeups_per_s cpu_percent".
measure() {
  if [ -z "$1" ] || ! wait_for "$2/joined"; then
    echo "peers.sh: $3 did not get into the channel" >&2
    echo "nan nan"
    return
  fi
  # A window is measured as the active one, the way a person leaves it.
  if [ -n "${4:-}" ]; then
    local wid
    wid=$(DISPLAY=:$4 xdotool search --pid "$1" --onlyvisible 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && DISPLAY=:$4 xdotool windowfocus "$wid" 2>/dev/null || true
  fi
  sleep "$settle"
  local s0 c0 s1 c1
  s0=$(switches "$1"); c0=$(cpuns "$1")
  sleep "$seconds"
  s1=$(switches "$1"); c1=$(cpuns "$1")
  if ! kill -0 "$1" 2>/dev/null; then
    echo "peers.sh: $3 ended while idle" >&2
    echo "nan nan"
    return
  fi
  awk -v s="$(delta "$s0" "$s1")" -v c="$(delta "$c0" "$c1")" -v t="$seconds" \
    'BEGIN {printf "%.2f %.4f\n", s / t, 100 * c / 1e9 / t}'
}

# Starts program $1 for run $2 in directory $3 with its own server (started
# with the options after $3) and, for a window, its own X server; sets pid and
# display.
launch() {
  local name=$1 dir=$3 bin=$build
  display=""
  [ "$name" = tolvik-before ] && bin=$before
  case $name in
    tolvik-cli|tolvik|tolvik-before)
      start_server chat "$dir" "${@:4}"
      printf '[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=127.0.0.1:%s\r\nChannel=Home\r\nAutoLogin=1\r\n' \
        "$port" > "$dir/Bot.ini"
      own "$dir"
      if [ "$name" = tolvik-cli ]; then
        "${as_user[@]}" "$bin/tolvik-cli" --dir "$dir" </dev/null >/dev/null 2>&1 &
        pid=$!
      else
        display=$((display_base + $2))
        start_xvfb "$display"
        DISPLAY=:$display QT_QPA_PLATFORM=xcb HOME=$dir XDG_CONFIG_HOME=$dir/config \
          "${as_user[@]}" "$bin/tolvik" --dir "$dir" </dev/null >/dev/null 2>&1 &
        pid=$!
      fi
      ;;
    irssi)
      start_server irc "$dir" "${@:4}"
      mkdir -p "$dir/irssi"
      # irssi wants a terminal: script(1) gives it one, its output goes nowhere.
      own "$dir"
      TERM=xterm "${as_user[@]}" script -qfec "irssi --home=$dir/irssi -n peer -c 127.0.0.1 -p $port" /dev/null \
        </dev/null >/dev/null 2>&1 &
      pids+=($!)
      pid=""
      for _ in $(seq 100); do
        for p in $(pgrep -x irssi || true); do
          tr '\0' ' ' < "/proc/$p/cmdline" 2>/dev/null | grep -qF -- "--home=$dir/irssi" && pid=$p
        done
        [ -n "$pid" ] && break
        sleep 0.1
      done
      ;;
    hexchat)
      start_server irc "$dir" "${@:4}"
      display=$((display_base + 5 + $2))
      start_xvfb "$display"
      mkdir -p "$dir/hexchat"
      cat > "$dir/hexchat/servlist.conf" <<EOF
v=2.16.1

N=Idle
I=peer
i=peer2
U=peer
E=UTF-8 (Unicode)
F=11
D=0
S=127.0.0.1/$port
J=#Home
EOF
      printf 'gui_slist_skip = 1\ngui_join_dialog = 0\nirc_nick1 = peer\nirc_user_name = peer\n' \
        > "$dir/hexchat/hexchat.conf"
      own "$dir"
      DISPLAY=:$display HOME=$dir "${as_user[@]}" hexchat -n --cfgdir="$dir/hexchat" \
        </dev/null >/dev/null 2>&1 &
      pid=$!
      ;;
  esac
  pids+=("$pid")
}

# This run's programs, servers and X servers end before the next run.
end_run() {  # first index in pids of this run
  local i
  for ((i = ${#pids[@]} - 1; i >= $1; i--)); do kill -TERM "${pids[$i]}" 2>/dev/null || true; done
  sleep 1
}

run_one() {  # name run -> "wakeups cpu"
  local dir=$work/$1.$2 pid display first=${#pids[@]}
  mkdir -p "$dir"
  launch "$1" "$2" "$dir"
  measure "$pid" "$dir" "$1" "$display"
  end_run "$first"
}

# CPU nanoseconds of every thread of $1, in all.
cputotal() { cpuns "$1" | awk '{t += $2} END {print t + 0}'; }
# Peak resident kilobytes of process $1 (0 when it is gone).
peakkb() { awk '/^VmHWM:/ {print $2; f = 1} END {if (!f) print 0}' "/proc/$1/status" 2>/dev/null || echo 0; }

# Waits until process $1 used less than 5 ms of CPU in each of two half
# seconds in a row (at most 5 minutes).
wait_quiet() {
  local prev now quiet=0 i
  prev=$(cputotal "$1")
  for i in $(seq 600); do
    sleep 0.5
    now=$(cputotal "$1")
    if [ $((now - prev)) -lt 5000000 ]; then
      quiet=$((quiet + 1))
      [ "$quiet" -ge 2 ] && return 0
    else
      quiet=0
    fi
    prev=$now
  done
  echo "peers.sh: process $1 never went quiet" >&2
  return 1
}

crowd_one() {  # name run -> "cpu_seconds peak_mb helper_peak_mb"
  local dir=$work/$1-crowd.$2 pid display first=${#pids[@]}
  mkdir -p "$dir"
  # The program itself is one of the channel's users.
  launch "$1" "$2" "$dir" --hold --users $((crowd_users - 1)) --lines "$crowd_lines" --sent-file "$dir/sent"
  if [ -z "$pid" ] || ! wait_for "$dir/joined"; then
    echo "peers.sh: $1 did not log in" >&2
    echo "nan nan nan"
    end_run "$first"
    return
  fi
  local wid
  wid=$(DISPLAY=:$display xdotool search --pid "$pid" --onlyvisible 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && DISPLAY=:$display xdotool windowfocus "$wid" 2>/dev/null || true
  sleep "$settle"
  local c0 c1
  c0=$(cpuns "$pid")
  kill -USR1 "$server_pid"
  wait_for "$dir/sent" && wait_quiet "$pid" || true
  c1=$(cpuns "$pid")
  # The script host (ours only) is a child of the window.
  local helper=0 child
  for child in $(pgrep -P "$pid" || true); do helper=$((helper + $(peakkb "$child"))); done
  if [ -n "${CROWD_SHOT:-}" ]; then
    DISPLAY=:$display import -window root "$CROWD_SHOT.$1.$2.png" 2>/dev/null || true
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "peers.sh: $1 ended in the crowd" >&2
    echo "nan nan nan"
  else
    awk -v c="$(delta "$c0" "$c1")" -v m="$(peakkb "$pid")" -v h="$helper" \
      'BEGIN {printf "%.3f %.1f %.1f\n", c / 1e9, m / 1024, h / 1024}'
  fi
  end_run "$first"
}

own() { if [ ${#as_user[@]} -gt 0 ]; then chown -R 65534:65534 "$1"; fi; }

median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

declare -A wake cpu crowd_cpu crowd_mb crowd_helper
crowd_names=(tolvik hexchat)
[ -n "$before" ] && crowd_names=(tolvik-before tolvik hexchat)
for name in "${crowd_names[@]}"; do
  crowd_cpu[$name]=-; crowd_mb[$name]=-; crowd_helper[$name]=-
  [ "$measure_what" = idle ] && continue
  [ -n "$only" ] && [ "$only" != "$name" ] && [ "$name" != tolvik-before ] && continue
  cs=() ms=() hs=()
  for r in $(seq "$runs"); do
    read -r c m h < <(crowd_one "$name" "$r")
    echo "$name crowd run $r: $c s CPU, peak $m MB (helper $h MB)" >&2
    cs+=("$c"); ms+=("$m"); hs+=("$h")
  done
  crowd_cpu[$name]=$(printf '%s\n' "${cs[@]}" | median)
  crowd_mb[$name]=$(printf '%s\n' "${ms[@]}" | median)
  crowd_helper[$name]=$(printf '%s\n' "${hs[@]}" | median)
done
for name in tolvik-cli irssi tolvik hexchat; do
  wake[$name]=-; cpu[$name]=-
  [ "$measure_what" = crowd ] && continue
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  ws=() cs=()
  for r in $(seq "$runs"); do
    read -r w c < <(run_one "$name" "$r")
    echo "$name run $r: $w wake-ups/s, $c% CPU" >&2
    ws+=("$w"); cs+=("$c")
  done
  wake[$name]=$(printf '%s\n' "${ws[@]}" | median)
  cpu[$name]=$(printf '%s\n' "${cs[@]}" | median)
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2fx", a / b; else print "-"}'; }
echo
echo "| measure | Tolvik | peer | ratio |"
echo "|---|---|---|---|"
echo "| idle in a channel, terminal: wake-ups/s | tolvik-cli ${wake[tolvik-cli]} | irssi ${wake[irssi]} | $(ratio "${wake[tolvik-cli]}" "${wake[irssi]}") |"
echo "| idle, terminal: CPU | ${cpu[tolvik-cli]}% | ${cpu[irssi]}% | $(ratio "${cpu[tolvik-cli]}" "${cpu[irssi]}") |"
echo "| idle, window under a real X server: wake-ups/s | tolvik ${wake[tolvik]} | hexchat ${wake[hexchat]} | $(ratio "${wake[tolvik]}" "${wake[hexchat]}") |"
echo "| idle, window: CPU | ${cpu[tolvik]}% | ${cpu[hexchat]}% | $(ratio "${cpu[tolvik]}" "${cpu[hexchat]}") |"
if [ -n "$before" ]; then
  echo "| ${crowd_users} users and ${crowd_lines} lines taken in, before: CPU | ${crowd_cpu[tolvik-before]} s | hexchat ${crowd_cpu[hexchat]} s | $(ratio "${crowd_cpu[tolvik-before]}" "${crowd_cpu[hexchat]}") |"
  echo "| same, before: peak resident memory | ${crowd_mb[tolvik-before]} MB (+${crowd_helper[tolvik-before]} MB script host) | hexchat ${crowd_mb[hexchat]} MB | $(ratio "${crowd_mb[tolvik-before]}" "${crowd_mb[hexchat]}") |"
fi
echo "| ${crowd_users} users and ${crowd_lines} lines taken in: CPU | ${crowd_cpu[tolvik]} s | hexchat ${crowd_cpu[hexchat]} s | $(ratio "${crowd_cpu[tolvik]}" "${crowd_cpu[hexchat]}") |"
echo "| same, peak resident memory | ${crowd_mb[tolvik]} MB (+${crowd_helper[tolvik]} MB script host) | hexchat ${crowd_mb[hexchat]} MB | $(ratio "${crowd_mb[tolvik]}" "${crowd_mb[hexchat]}") |"
echo "(${runs} runs each, medians; idle over ${seconds} s; every thread of each process counted)"

# The chat API burst beside the text protocol: tolvik-cli's peak memory after
# 400,000 talk events at once over each (bench/api_flood_bench.cpp; built
# with -DTOLVIK_BENCH=ON). `--only burst` runs this row alone.
if [ -x "$build/bench/api_flood_bench" ] && { [ -z "$only" ] || [ "$only" = burst ]; }; then
  texts=() apis=()
  for r in $(seq "$runs"); do
    # As on a desktop: without OpenSSL's SSL_CERT_FILE / SSL_CERT_DIR overrides
    # (some build machines name the system bundle there, which makes every
    # TLS client parse all of it).
    read -r t a < <(env -u SSL_CERT_FILE -u SSL_CERT_DIR "$build/bench/api_flood_bench" --benchmark_filter=BM_BurstPeakMemory \
      --benchmark_format=json 2>/dev/null | python3 -c '
import json, sys
peak = {b["name"]: b["peak_kib"] / 1024 for b in json.load(sys.stdin)["benchmarks"]}
print(*(round(peak[k], 1) for k in sorted(peak)))')
    echo "burst run $r: text protocol $t MB, chat API $a MB" >&2
    texts+=("$t"); apis+=("$a")
  done
  t=$(printf '%s\n' "${texts[@]}" | median)
  a=$(printf '%s\n' "${apis[@]}" | median)
  echo "| chat API burst of 400k events: peak memory | ${a} MB | text protocol: ${t} MB | $(ratio "$a" "$t") |"
  echo "(${runs} runs, medians; resident memory of tolvik-cli at its peak)"
fi
