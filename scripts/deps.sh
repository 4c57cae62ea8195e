#!/usr/bin/env bash
# Installs the Debian packages Tolvik needs to build and test, when missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev tcl8.6-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools
          libssl-dev libwslay-dev nlohmann-json3-dev libsimdjson-dev openssl "$@")
missing=()
# The terminal program's line editing and history.
packages+=(libedit-dev)
# The protection rules' regular expressions.
packages+=(libre2-dev)
# The face password's slow hash (argon2id).
packages+=(libsodium-dev)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
