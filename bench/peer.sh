#!/usr/bin/env bash
# Times ffmpeg's normalize filter (per-frame, per-channel levels stretching:
# the closest peer), single-threaded, against `velmor --raw` on the same raw
# 1920x1080 BGRA frames, both reading a file and writing to /dev/null.
# Usage: bench/peer.sh [VELMOR_BINARY [FRAME_BENCH]]   (FRAMES=N: the frame count)
set -euo pipefail
cd "$(dirname "$0")/.."
velmor=${1:-build-rel/cli/velmor}
bench=${2:-build-rel/bench/frame_bench}
frames=${FRAMES:-40}
size=1920x1080
[ -x "$velmor" ] || { echo "peer.sh: no velmor at $velmor (cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target velmor_cli)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "peer.sh: ffmpeg is needed (apt-get install ffmpeg)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
    -vf "eq=contrast=0.5:brightness=0.1" -f rawvideo -pix_fmt bgra "$tmp/frames.raw"
cat "$tmp/frames.raw" >/dev/null # into the page cache for both

source bench/timing.sh
run_ffmpeg() {
    ffmpeg -v error -nostdin -threads 1 -filter_threads 1 -f rawvideo -pix_fmt bgra -s "$size" \
        -i "$tmp/frames.raw" -vf normalize -f rawvideo -y /dev/null
}
run_ffmpeg_null() { # the same reading and writing, no filter
    ffmpeg -v error -nostdin -threads 1 -filter_threads 1 -f rawvideo -pix_fmt bgra -s "$size" \
        -i "$tmp/frames.raw" -vf null -f rawvideo -y /dev/null
}
run_velmor() { "$velmor" --raw "$size" --zero-alpha --quiet <"$tmp/frames.raw" >/dev/null; }

filterOnly=$("$bench" --raw "$tmp/frames.raw" "$size") # ms per frame, no I/O
ff=$(best_seconds 3 run_ffmpeg)
null=$(best_seconds 3 run_ffmpeg_null)
vm=$(best_seconds 3 run_velmor)
awk -v ff="$ff" -v null="$null" -v vm="$vm" -v n="$frames" -v own="$filterOnly" 'BEGIN {
    printf "%d frames of 1920x1080 BGRA from a file to /dev/null, best of 3\n", n
    printf "ffmpeg -vf normalize (1 thread): %7.2f ms/frame\n", 1000 * ff / n
    printf "ffmpeg -vf null (1 thread):      %7.2f ms/frame  (reading and writing alone)\n", 1000 * null / n
    printf "velmor --raw --zero-alpha:       %7.2f ms/frame\n", 1000 * vm / n
    printf "velmor is %.1fx faster per frame, reading and writing included\n", ff / vm
    printf "the filters alone: normalize %.2f ms/frame (normalize - null), velmor frame run %.2f ms/frame\n", 1000 * (ff - null) / n, own
    printf "velmor is %.1fx faster per frame, filter work alone\n", 1000 * (ff - null) / n / own
}'
