#!/usr/bin/env bash
# Deep colour end to end, three rows: 4 s of 1080p 10-bit 4:2:2 ProRes 422
# HQ with sound into .mov (a tape capture, with lowered contrast), 4 s of
# 1080p 10-bit 4:2:0 H.264 into .mkv, and a 16-bit 6000x4000 TIFF into
# .tif. Each row times, as whole processes and taking turns, velmor on the
# route it chooses (the core's planar deep run between two ffmpeg
# processes), the same forced through the 8-bit plug-in (VELMOR_ROUTE=8bit)
# and a plain ffmpeg transcode of the same file with no filters; with
# BEFORE=path/to/another/velmor, that one's deep route too. Per command the
# median over RUNS runs (default 5) of the wall time and of the CPU time
# (user + system, every process), and the largest peak resident memory of
# any one process (/usr/bin/time -v's maximum resident set size), with the
# load average before and after.
# Usage: bench/deep.sh [VELMOR_BINARY]   (ROWS="prores h264 tiff" to choose rows,
#   SECONDS_OF_VIDEO=N for clips of N seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build-rel/cli/velmor}")
before=${BEFORE:+$(realpath "$BEFORE")}
runs=${RUNS:-5}
rows=${ROWS:-prores h264 tiff}
length=${SECONDS_OF_VIDEO:-4}
[ -x "$velmor" ] || { echo "deep.sh: no velmor at $velmor" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "deep.sh: needs /usr/bin/time (GNU time)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
make_input() { # row
    local low="eq=contrast=0.5"
    case $1 in
    prores) ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
        -f lavfi -i "sine=duration=$length" -vf "$low,format=yuv422p10le" -c:v prores_ks -profile:v 3 \
        -c:a pcm_s16le "$tmp/in.mov" ;;
    h264) ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
        -vf "$low,format=yuv420p10le" -c:v libx264 -preset fast "$tmp/in.mkv" ;;
    tiff) ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=6000x4000:rate=1" -frames:v 1 \
        -vf "$low,format=rgb48le" "$tmp/in.tif" ;;
    esac
}
declare -A input=([prores]=in.mov [h264]=in.mkv [tiff]=in.tif)
declare -A plainArgs=([prores]="-c:a copy -c:v prores_ks -profile:v 3" [h264]="" [tiff]="")
# One command's figures: "wall cpu maxrss_kib", appended to the row's lists.
measure() { # name command...
    local name=$1 out=$tmp/time.txt
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$out" "$@" >/dev/null 2>"$tmp/err.txt" ||
        { cat "$tmp/err.txt" >&2; exit 1; }
    read -r wall user sys rss <"$out"
    wall_[$name]+="$wall "
    cpu_[$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') "
    [ "${rss_[$name]:-0}" -ge "$rss" ] || rss_[$name]=$rss
}
for row in $rows; do
    make_input "$row"
    in=$tmp/${input[$row]}
    out=$tmp/out.${input[$row]##*.}
    declare -A wall_=() cpu_=() rss_=()
    names=(plain eightbit deep)
    [ -z "$before" ] || names+=(before)
    echo "== $row: load before $(cut -d' ' -f1-3 /proc/loadavg)"
    for ((i = 0; i < runs; i++)); do
        for name in "${names[@]}"; do
            case $name in
            plain) measure plain ffmpeg -v error -nostdin -y -i "$in" ${plainArgs[$row]} "$out" ;;
            eightbit) measure eightbit env VELMOR_ROUTE=8bit "$velmor" "$in" -o "$out" --quiet -y ;;
            deep) measure deep "$velmor" "$in" -o "$out" --quiet -y ;;
            before) measure before "$before" "$in" -o "$out" --quiet -y ;;
            esac
        done
    done
    echo "   load after $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs runs"
    plain=$(echo "${wall_[plain]}" | median)
    eightbit=$(echo "${wall_[eightbit]}" | median)
    for name in "${names[@]}"; do
        w=$(echo "${wall_[$name]}" | median)
        c=$(echo "${cpu_[$name]}" | median)
        awk -v n="$name" -v w="$w" -v c="$c" -v m="${rss_[$name]}" -v p="$plain" -v e="$eightbit" \
            'BEGIN { printf "   %-9s wall %6.2f s (%.2fx plain, %.2fx 8-bit)  cpu %6.2f s  peak %5.0f MiB\n",
                     n, w, w / p, w / e, c, m / 1024 }'
    done
    unset wall_ cpu_ rss_
done
