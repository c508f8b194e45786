#!/usr/bin/env bash
# Builds the Debian package, installs it into an empty root with dpkg, and runs the
# installed program on installed examples: the sixnet sample must find the installed
# plug-in, and --check must find the examples clean.
set -euo pipefail
build=$1
root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
deb=$build/velmora_1.0_amd64.deb
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "Depends lacks Qt"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q 'fcitx5-frontend-qt6' || { echo "Recommends lacks fcitx5"; exit 1; }

mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -i "$deb" >/dev/null 2>&1
dpkg --root="$root" -L velmora | grep -q '/usr/lib/velmora/sixnet.so'

exe=$root/usr/bin/velmora
docs=$root/usr/share/doc/velmora
test -f "$docs/scripting.md"
test -f "$root/usr/share/man/man1/velmora.1"
test -f "$root/usr/include/velmora/plugin_api.h"
test -f "$root/usr/share/applications/velmora.desktop"
[ "$("$exe" --version)" = 1.0 ]

for example in "$docs"/examples/*/code.txt; do
    "$exe" --check "$example"
done

cp -r "$docs/examples/ipv6-readiness" "$work/"
# A numeric host name: getip needs no name look-up.
out=$(VELMORA_HOME=$work/ipv6-readiness VELMORA_SIXNET_OSVERSION="2,5,1,2600,Service Pack 1" \
      VELMORA_SIXNET_HOSTNAME=192.0.2.7 \
      "$exe" --console </dev/null)
echo "$out" | grep -q 'Windows XP' || { echo "unexpected output: $out"; exit 1; }
echo "package: installed and ran the examples"
