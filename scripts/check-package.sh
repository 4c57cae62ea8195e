#!/usr/bin/env bash
# Builds the Debian package and checks it: its name, its file list, its
# Depends line (from dpkg-shlibdeps), that apt could install it here, the
# desktop entry (desktop-file-validate), lintian (no errors), the manual pages,
# and the systemd user unit (systemd-analyze verify, skipped when there is none).
# Usage: scripts/check-package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh dpkg-dev lintian desktop-file-utils man-db file

cmake -S . -B "$build" -G Ninja >/dev/null
rm -f "$build"/tolvik_*.deb
cmake --build "$build" --target package
version=$(sed -n 's/^project(Tolvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$build/tolvik_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "FAIL: no $deb" >&2; ls "$build"/*.deb >&2 || true; exit 1; }
echo "== $deb"

fail=0
bad() { echo "FAIL: $*" >&2; fail=1; }

# The file list: everything a user needs, nothing from the build.
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
echo "$files"
expected="/usr/bin/tolvik
/usr/bin/tolvik-cli
/usr/lib/systemd/user/tolvik-cli@.service
/usr/share/applications/tolvik.desktop
/usr/share/doc/tolvik/changelog.gz
/usr/share/doc/tolvik/copyright
/usr/share/icons/hicolor/scalable/apps/tolvik.svg
/usr/share/man/man1/tolvik-cli.1.gz
/usr/share/man/man1/tolvik.1.gz"
[ "$files" = "$expected" ] || bad "file list differs: $(diff <(echo "$expected") <(echo "$files") | tr '\n' ' ')"
dpkg-deb -c "$deb" | awk '$2 != "root/root" {print}' | grep . && bad "files not owned by root"

# Depends comes from dpkg-shlibdeps: the C library, Tcl, Qt, OpenSSL and wslay, each versioned.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libtcl8.6 libqt6widgets6 libqt6core6 libssl3 libwslay1; do
  echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$lib (>= [^)]*)$" || bad "Depends lacks a versioned $lib"
done
for field in Maintainer Section Priority Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || bad "no $field"
done
if [ "$(id -u)" -eq 0 ]; then
  apt-get install --simulate -qq "./$deb" >/dev/null || bad "apt cannot install $deb here"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/tolvik-cli" --version | grep -qx "tolvik-cli $version" || bad "tolvik-cli --version"
file "$root/usr/bin/tolvik" "$root/usr/bin/tolvik-cli" | grep -q 'not stripped' && bad "binaries not stripped"

desktop-file-validate "$root/usr/share/applications/tolvik.desktop" || bad "desktop entry"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || bad "$(basename "$page"): $warnings"
done
zcat "$root/usr/share/doc/tolvik/changelog.gz" | head -1 | grep -q "^tolvik ($version)" || bad "changelog's version"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$root/usr/share/doc/tolvik/copyright" || bad "copyright format"

# The user unit: restarts after a crash only, stops with SIGTERM within 10 s.
unit="$root/usr/lib/systemd/user/tolvik-cli@.service"
for line in 'ExecStart=/usr/bin/tolvik-cli --dir %h/.local/share/tolvik/%i' 'Restart=on-failure' \
            'KillSignal=SIGTERM' 'TimeoutStopSec=10' 'WantedBy=default.target'; do
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

lintian --fail-on error --tag-display-limit 0 "$deb" || bad "lintian reports errors"

[ "$fail" -eq 0 ] || exit 1
echo "package checks passed"
