#!/usr/bin/env bash
# The Debian package as a user meets it: built with CPack from a build tree,
# checked by lintian (no errors), installed with apt-get (which brings its
# dependencies), used from the installed paths with no variable set
# (velmor --version and --demo, ffmpeg's frei0r filter, melt, the editors'
# files where Debian's Kdenlive and Shotcut read them), and removed
# again without a trace. It also checks that `cmake --install` puts the same
# files in the same places. Installs and removes a system package: needs
# root, and is meant for CI and release machines.
#
# Usage: tools/package-test.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: tools/package-test.sh BUILD_DIR}
[ "$(id -u)" -eq 0 ] || { echo "package test: needs root (it installs the package)" >&2; exit 1; }
unset FREI0R_PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
version=$(sed -n 's/^#define VELMOR_VERSION "\(.*\)"$/\1/p' "$build/generated/velmor_version.h")
deb="$(cd "$build" && pwd)/velmor_${version}_amd64.deb"
[ -f "$deb" ] || { echo "package test: $deb was not made" >&2; exit 1; }

echo "-- lintian"
lintian --allow-root --fail-on error "$deb"

echo "-- cmake --install lays out the same files"
cmake --install "$build" --prefix "$work/root/usr" >/dev/null
(cd "$work/root" && find . -type f | sort) >"$work/installed"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/packaged"
diff -u "$work/packaged" "$work/installed"

echo "-- install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" </dev/null >/dev/null
cd "$work"
[ "$(velmor --version)" = "velmor $version" ] || { echo "velmor --version: $(velmor --version)" >&2; exit 1; }
velmor --demo demo >/dev/null
[ -s demo/before-after.png ]
ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=5 -frames:v 3 \
    -vf format=bgra,frei0r=velmor,format=yuv420p -y frei0r.mp4 </dev/null
[ -s frei0r.mp4 ]
filters=$(melt -query filters </dev/null 2>/dev/null || true)
[[ "$filters" == *"frei0r.velmor"* ]] || { echo "package test: melt does not list frei0r.velmor" >&2; exit 1; }
melt -silent -quiet color:gray out=2 -filter frei0r.velmor \
    -consumer avformat:melt.mp4 vcodec=libx264 </dev/null >/dev/null 2>melt.log
[ -s melt.mp4 ] || { cat melt.log >&2; exit 1; }

kdenlive_effect=/usr/share/kdenlive/effects/frei0r_velmor.xml
shotcut_filter=/usr/share/shotcut/qml/filters/velmor
for f in $kdenlive_effect $shotcut_filter/meta.qml $shotcut_filter/ui.qml; do
    [ -s "$f" ] || { echo "package test: $f is not installed" >&2; exit 1; }
done

echo "-- remove"
dpkg --purge velmor >/dev/null
dpkg -s velmor >/dev/null 2>&1 && { echo "package test: velmor is still known to dpkg" >&2; exit 1; }
for f in /usr/bin/velmor /usr/lib/frei0r-1/velmor.so /usr/share/doc/velmor /usr/share/man/man1/velmor.1.gz \
    $kdenlive_effect $shotcut_filter; do
    [ ! -e "$f" ] || { echo "package test: $f is left after removal" >&2; exit 1; }
done
echo "package test: $deb passed"
