#!/usr/bin/env bash
# Installs what is missing, builds Tolvik and starts it in the current directory
# (or the one given with --dir, or the profile given with --profile). With a
# display ($DISPLAY or $WAYLAND_DISPLAY) that is the desktop program tolvik,
# otherwise the terminal program tolvik-cli. Arguments are passed to the program.
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
# The programs default to a profile under ~/.local/share/tolvik; this script
# keeps to the directory it was started in unless told otherwise.
where=(--dir "$here")
for arg in "$@"; do
  case "$arg" in
    --dir|--dir=*|--profile|--profile=*) where=() ;;
  esac
done
exec "$OLDPWD/build/$program" "${where[@]}" "$@"
