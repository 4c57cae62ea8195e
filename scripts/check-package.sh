#!/usr/bin/env bash
# Builds the two Debian packages and checks each: its name, its file list,
# its Depends line (from dpkg-shlibdeps; the window's package on tolvik-cli
# of the same version, and tolvik-cli free of Qt), that apt could install
# them here, the desktop entry (desktop-file-validate), the AppStream
# metainfo (appstreamcli), the hardening of the programs, lintian (no errors
# or warnings), the manual pages, and the systemd user unit (systemd-analyze
# verify, skipped when there is none).
# Usage: scripts/check-package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# Absolute from here on (a relative one is taken from the checkout): apt
# takes a package file only by a path that starts with / or ./.
build=$(realpath -m -- "$build")
scripts/deps.sh dpkg-dev lintian desktop-file-utils appstream man-db file binutils

cmake -S . -B "$build" -G Ninja >/dev/null
rm -f "$build"/tolvik_*.deb "$build"/tolvik-cli_*.deb
cmake --build "$build" --target package
version=$(sed -n 's/^project(Tolvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
gui_deb="$build/tolvik_${version}_${arch}.deb"
cli_deb="$build/tolvik-cli_${version}_${arch}.deb"

fail=0
bad() { echo "FAIL: $*" >&2; fail=1; }
for deb in "$cli_deb" "$gui_deb"; do
  [ -f "$deb" ] || { echo "FAIL: no $deb" >&2; ls "$build"/*.deb >&2 || true; exit 1; }
done

file_list() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort; }
# Checks a package's file list, ownership, fields and versioned library dependencies.
check_deb() {
  local deb=$1 expected=$2 libs=$3 files depends
  echo "== $deb"
  files=$(file_list "$deb")
  echo "$files"
  [ "$files" = "$expected" ] || bad "$(basename "$deb") file list differs: $(diff <(echo "$expected") <(echo "$files") | tr '\n' ' ')"
  dpkg-deb -c "$deb" | awk '$2 != "root/root" {print}' | grep . && bad "$(basename "$deb"): files not owned by root"
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for lib in $libs; do
    echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$lib (>= [^)]*)$" || bad "$(basename "$deb") Depends lacks a versioned $lib"
  done
  for field in Maintainer Section Priority Description Homepage; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || bad "$(basename "$deb") has no $field"
  done
}

check_deb "$cli_deb" "/usr/bin/tolvik-cli
/usr/lib/systemd/user/tolvik-cli@.service
/usr/libexec/tolvik/tolvik-demo-gateway
/usr/libexec/tolvik/tolvik-scripthost
/usr/share/doc/tolvik-cli/changelog.gz
/usr/share/doc/tolvik-cli/copyright
/usr/share/doc/tolvik-cli/examples/Bot.ini
/usr/share/man/man1/tolvik-cli.1.gz" "libc6 libstdc++6 libtcl8.6 libedit2 libssl3 libwslay1 libsodium23"
# A machine without a display gets no Qt with the terminal program.
dpkg-deb -f "$cli_deb" Depends | grep -qi 'qt' && bad "tolvik-cli depends on Qt"

check_deb "$gui_deb" "/usr/bin/tolvik
/usr/share/applications/io.github.tolvik.Tolvik.desktop
/usr/share/doc/tolvik/changelog.gz
/usr/share/doc/tolvik/copyright
/usr/share/doc/tolvik/examples/Bot.ini
/usr/share/icons/hicolor/scalable/apps/tolvik.svg
/usr/share/man/man1/tolvik.1.gz
/usr/share/metainfo/io.github.tolvik.Tolvik.metainfo.xml" "libc6 libstdc++6 libqt6widgets6 libqt6core6 libssl3 libwslay1"
dpkg-deb -f "$gui_deb" Depends | tr ',' '\n' | sed 's/^ *//' | grep -qx "tolvik-cli (= $version)" \
  || bad "tolvik does not depend on tolvik-cli (= $version)"

# apt's lists show the first line: each package's own.
[ "$(dpkg-deb -f "$cli_deb" Description | head -1)" != "$(dpkg-deb -f "$gui_deb" Description | head -1)" ] \
  || bad "the two packages have the same short description"

if [ "$(id -u)" -eq 0 ]; then
  apt-get install --simulate -qq "$cli_deb" "$gui_deb" >/dev/null || bad "apt cannot install the packages here"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$cli_deb" "$root"
dpkg-deb -x "$gui_deb" "$root"
"$root/usr/bin/tolvik-cli" --version | head -1 | grep -qx "tolvik-cli $version" || bad "tolvik-cli --version"
"$root/usr/bin/tolvik-cli" --version | grep -q "GPL-3.0-or-later" || bad "tolvik-cli --version names no licence"
for program in "$root/usr/bin/tolvik" "$root/usr/bin/tolvik-cli" "$root/usr/libexec/tolvik/tolvik-scripthost" \
               "$root/usr/libexec/tolvik/tolvik-demo-gateway"; do
  name=$(basename "$program")
  # Read whole before matching: grep -q stopping early would fail the pipe.
  sections=$(readelf -W -S "$program"); dynamic=$(readelf -W -d "$program")
  segments=$(readelf -W -l "$program"); symbols=$(readelf -W --dyn-syms "$program")
  header=$(readelf -W -h "$program")
  file "$program" | grep 'not stripped' && bad "$name not stripped"
  grep -q '\.comment' <<<"$sections" && bad "$name keeps a .comment section"
  grep -q 'BIND_NOW' <<<"$dynamic" || bad "$name not linked with -z now"
  grep -q 'GNU_RELRO' <<<"$segments" || bad "$name has no RELRO"
  grep -q 'Type: *DYN' <<<"$header" || bad "$name is not a position-independent executable"
  grep -q '__stack_chk_fail@' <<<"$symbols" || bad "$name has no stack protector"
  grep -q '__[a-z]*_chk@' <<<"$symbols" || bad "$name uses no fortified functions"
done

desktop-file-validate "$root/usr/share/applications/io.github.tolvik.Tolvik.desktop" || bad "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.tolvik.Tolvik.metainfo.xml" || bad "AppStream metainfo"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || bad "$(basename "$page"): $warnings"
done
for pkg in tolvik tolvik-cli; do
  zcat "$root/usr/share/doc/$pkg/changelog.gz" | head -1 | grep -q "^tolvik ($version)" || bad "$pkg changelog's version"
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$root/usr/share/doc/$pkg/copyright" || bad "$pkg copyright format"
  grep -qx 'License: GPL-3.0-or-later' "$root/usr/share/doc/$pkg/copyright" || bad "$pkg copyright has no SPDX licence"
done

# The user unit: runs in the profile the program computes, restarts after a
# crash only, stops with SIGTERM within 10 s, makes private files.
unit="$root/usr/lib/systemd/user/tolvik-cli@.service"
for line in 'ExecStart=/usr/bin/tolvik-cli --profile %i' 'Restart=on-failure' 'UMask=0077' 'NoNewPrivileges=yes' \
            'RestartPreventExitStatus=2 3 4' 'KillSignal=SIGTERM' 'TimeoutStopSec=10' 'WantedBy=default.target'; do
  grep -qxF "$line" "$unit" || bad "unit lacks $line"
done
if command -v systemd-analyze >/dev/null; then
  # An instance of the template, running the unpacked program.
  mkdir -p "$root/verify"
  sed "s|/usr/bin/tolvik-cli|$root/usr/bin/tolvik-cli|" "$unit" > "$root/verify/tolvik-cli@mybot.service"
  # Documentation= names the manual page: looked up among the unpacked ones.
  out=$(MANPATH="$root/usr/share/man" SYSTEMD_LOG_LEVEL=warning systemd-analyze verify "$root/verify/tolvik-cli@mybot.service" 2>&1) || bad "systemd-analyze verify: $out"
  echo "$out" | grep -i 'tolvik' && bad "systemd-analyze verify complains"
else
  echo "SKIP: no systemd-analyze; the unit was not verified"
fi

for deb in "$cli_deb" "$gui_deb"; do
  echo "== lintian $(basename "$deb")"
  lintian --fail-on error,warning --tag-display-limit 0 "$deb" || bad "lintian reports errors or warnings for $(basename "$deb")"
done

[ "$fail" -eq 0 ] || exit 1
echo "package checks passed"
