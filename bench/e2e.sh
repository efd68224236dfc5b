#!/usr/bin/env bash
# End to end: velmor correcting a 1080p H.264 clip with sound, against the
# same ffmpeg transcode without the filter (the encoder settings velmor uses
# for .mp4 by default), wall time, best of two.
# Usage: bench/e2e.sh [VELMOR_BINARY]   (SECONDS_OF_VIDEO=N to change the clip)
set -euo pipefail
cd "$(dirname "$0")/.."
velmor=${1:-build-rel/cli/velmor}
length=${SECONDS_OF_VIDEO:-6}
[ -x "$velmor" ] || { echo "e2e.sh: no velmor at $velmor" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -f lavfi -i "sine=duration=$length" -vf "eq=contrast=0.5:brightness=0.1" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$tmp/in.mp4"

source bench/timing.sh
run_ffmpeg() {
    ffmpeg -v error -nostdin -y -i "$tmp/in.mp4" -map 0:v -map 0:a? -c:a copy -c:v libx264 \
        -preset medium -crf 16 -pix_fmt yuv420p "$tmp/plain.mp4"
}
run_rgb_route() { # the same route as velmor (decode to BGRA, pipe, encode), no filter
    ffmpeg -v error -nostdin -filter_threads 2 -i "$tmp/in.mp4" -f rawvideo -pix_fmt bgra - |
        ffmpeg -v error -nostdin -filter_threads 2 -y -f rawvideo -pix_fmt bgr0 -s 1920x1080 \
            -framerate 25 -i - -c:v libx264 -preset medium -crf 16 -pix_fmt yuv420p "$tmp/rgb.mp4"
}
run_velmor() { "$velmor" "$tmp/in.mp4" -o "$tmp/corrected.mp4" --quiet; }
ff=$(best_seconds 2 run_ffmpeg)
rgb=$(best_seconds 2 run_rgb_route)
vm=$(best_seconds 2 run_velmor)
awk -v ff="$ff" -v rgb="$rgb" -v vm="$vm" -v s="$length" 'BEGIN {
    printf "%d s of 1920x1080 H.264 at 25 fps with sound, best of 2\n", s
    printf "ffmpeg transcode, no filter:               %6.2f s\n", ff
    printf "the same through BGRA and a pipe, no filter: %6.2f s\n", rgb
    printf "velmor, same encoder:                      %6.2f s\n", vm
    printf "velmor takes %.2fx the transcode time, %.2fx the BGRA route without the filter\n", vm / ff, vm / rgb
}'
