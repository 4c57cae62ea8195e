#!/usr/bin/env bash
# Installs what is missing, builds Tolvik and starts it in the current directory
# (or the one given with --dir). Arguments are passed to the program.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tolvik-cli
cd "$here"
exec "$OLDPWD/build/tolvik-cli" "$@"
