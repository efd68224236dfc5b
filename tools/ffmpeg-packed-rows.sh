#!/usr/bin/env bash
# Builds an ffmpeg whose frei0r filter hands plug-ins rows exactly
# width * 4 bytes apart, as current ffmpeg releases do, from Debian's own
# ffmpeg source (apt-get source), and prints the path of its ffmpeg. Debian 12
# ships ffmpeg 5.1, whose frei0r filter pads rows to 16 pixels instead; the
# plug-in must read both layouts from the running library, and the tests run
# it in both (tests/frei0r_hosts_test.cpp).
#
# The only change to the source: the three frame alignments of
# libavfilter/vf_frei0r.c, 16 -> 1 (the output frame, the input's copy, and
# the source filter's frame). The edit checks that it found exactly those
# three and fails loudly otherwise, so a changed source is noticed, not built
# half-edited. The configure is minimal (raw video in and out, the frei0r and
# format filters, no assembly, shared libraries so that the plug-in sees
# libavfilter as its caller): 1.5 to 2.5 minutes on 2 cores (84 s at load 4
# with the source lines in place, 132 s from no source lines at load 3.5), once.
#
# The build is kept in $VELMOR_FFMPEG_PACKED_CACHE (default
# /var/cache/velmor-ffmpeg-packed/), one folder per source version, and
# reused while that folder's ffmpeg runs. Needs root (or sudo) the first time
# to add Debian's source lines when they are missing and to install the
# build's packages (the 'tests' purpose in tools/packages.txt).
# Usage: tools/ffmpeg-packed-rows.sh   (prints the ffmpeg's path; logs on stderr)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${VELMOR_FFMPEG_PACKED_CACHE:-/var/cache/velmor-ffmpeg-packed}
say() { echo "ffmpeg-packed-rows: $*" >&2; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Debian's source lines: added beside the binary ones when none is there.
version_of_source() { # the newest version apt-get would fetch, if any
    local best="" v
    for v in $(apt-cache showsrc --only-source ffmpeg 2>/dev/null | sed -n 's/^Version: //p'); do
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done
    echo "$best"
}
version=$(version_of_source)
if [ -z "$version" ]; then
    say "adding Debian 12's source lines (/etc/apt/sources.list.d/velmor-deb-src.sources)"
    $sudo tee /etc/apt/sources.list.d/velmor-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    $sudo apt-get update -q >&2
    version=$(version_of_source)
fi
[ -n "$version" ] || { say "apt-get knows no source of ffmpeg"; exit 1; }

key=${version//[^A-Za-z0-9.+-]/_}
prefix=$cache/$key
if "$prefix/bin/ffmpeg" -hide_banner -filters 2>/dev/null | grep -q ' frei0r '; then
    echo "$prefix/bin/ffmpeg"
    exit 0
fi

bash "$here/install-packages.sh" tests >&2
start=$SECONDS
work=$cache/$key.build
$sudo rm -rf "$work" "$prefix"
$sudo mkdir -p "$work"
[ -z "$sudo" ] || $sudo chown "$(id -u):$(id -g)" "$cache" "$work"
cd "$work"
say "fetching ffmpeg $version's source"
apt-get source -q --download-only "ffmpeg=$version" >&2 2>&1
dpkg-source -x ffmpeg_*.dsc src >&2
cd src

# The three alignments, and nothing else.
file=libavfilter/vf_frei0r.c
pattern='ff_default_get_video_buffer2(outlink, outlink->w, outlink->h, 16)'
found=$(grep -cF "$pattern" "$file" || true)
if [ "$found" != 3 ]; then
    say "$file has $found frames asked with alignment 16, not the 3 this edit is for:"
    grep -n 'get_video_buffer' "$file" >&2 || true
    exit 1
fi
sed -i 's/ff_default_get_video_buffer2(outlink, outlink->w, outlink->h, 16)/ff_default_get_video_buffer2(outlink, outlink->w, outlink->h, 1)/' "$file"
[ "$(grep -cF 'ff_default_get_video_buffer2(outlink, outlink->w, outlink->h, 1)' "$file")" = 3 ] ||
    { say "the edit of $file did not take"; exit 1; }

say "configuring and building (about 2 minutes on 2 cores)"
nice -n 19 ./configure --prefix="$prefix" --enable-shared --disable-static --enable-rpath \
    --disable-everything --disable-autodetect --disable-doc --disable-network --disable-x86asm \
    --disable-ffplay --disable-ffprobe --disable-avdevice --disable-postproc \
    --enable-gpl --enable-frei0r \
    --enable-filter=frei0r,format,null,scale,pad,crop \
    --enable-demuxer=rawvideo --enable-decoder=rawvideo \
    --enable-encoder=rawvideo --enable-muxer=rawvideo --enable-protocol=file,pipe \
    >config.out 2>&1 || { tail -30 config.out >&2; exit 1; }
nice -n 19 make -j"$(nproc)" >make.out 2>&1 || { tail -40 make.out >&2; exit 1; }
make install >install.out 2>&1 || { tail -20 install.out >&2; exit 1; }
"$prefix/bin/ffmpeg" -hide_banner -filters 2>/dev/null | grep -q ' frei0r ' ||
    { say "the built ffmpeg has no frei0r filter"; exit 1; }
cd "$cache" && rm -rf "$work"
say "built in $((SECONDS - start)) s: $prefix"
echo "$prefix/bin/ffmpeg"
