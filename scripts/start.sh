#!/usr/bin/env bash
# Installs what is missing, builds Tolvik and starts it in the current directory
# (or the one given with --dir). With a display ($DISPLAY or $WAYLAND_DISPLAY)
# that is the desktop program tolvik, otherwise the terminal program tolvik-cli.
# Arguments are passed to the program.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
program=tolvik-cli
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  program=tolvik
fi
cmake --build build --target "$program"
cd "$here"
exec "$OLDPWD/build/$program" "$@"
