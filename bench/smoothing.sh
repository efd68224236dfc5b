#!/usr/bin/env bash
# Smoothing over time (--smoothing): what it does and what it costs.
#  1. bench/smoothing.py on four generated clips (a white card crossing a
#     pan, a cut from dark to bright, a fade through black, a single-frame
#     flash): grey 128's largest frame-to-frame change and the difference
#     from each frame's own correction after a cut, for smoothing off,
#     --smoothing N and ffmpeg's normalize=smoothing=N; with PLOT=FILE.png,
#     the picture of grey 128's level over time (docs/smoothing.png).
#  2. The cost per frame: `velmor --raw` on 1920x1080 frames, 8-bit and
#     16-bit, with --smoothing 0 and N, interleaved, the fastest of RUNS
#     each in CPU time (/usr/bin/time): other work on the machine only ever
#     adds to it. With FRAME_BENCH, also the frame run alone, in the
#     process, without and with the smoothing (frame_bench --raw ... N).
# Usage: bench/smoothing.sh [VELMOR_BINARY [FRAME_BENCH]]   (N=12, FRAMES=40, RUNS=5, PLOT=)
set -euo pipefail
cd "$(dirname "$0")/.."
velmor=${1:-build-rel/cli/velmor}
bench=${2:-}
window=${N:-12}
frames=${FRAMES:-40}
runs=${RUNS:-5}
[ -x "$velmor" ] || { echo "smoothing.sh: no velmor at $velmor (cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target velmor_cli)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "smoothing.sh: ffmpeg is needed (apt-get install ffmpeg)" >&2; exit 1; }
# Debian's python3, which python3-numpy and python3-matplotlib go with
# (tools/install-packages.sh bench).
python=/usr/bin/python3
[ -x "$python" ] || python=python3

"$python" bench/smoothing.py "$velmor" "$window" ${PLOT:+"$PLOT"}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
size=1920x1080
# A moving test picture, washed out: every frame passes the cut test and joins the window.
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
    -vf "eq=contrast=0.5:brightness=0.1" -f rawvideo -pix_fmt bgra "$tmp/frames.raw"
ffmpeg -v error -nostdin -f rawvideo -pix_fmt bgra -s "$size" -i "$tmp/frames.raw" \
    -f rawvideo -pix_fmt bgra64le "$tmp/deep.raw"
cat "$tmp/frames.raw" "$tmp/deep.raw" >/dev/null # into the page cache

source bench/timing.sh
# CPU seconds (user + system) of velmor --raw on INPUT with OPTIONS: on a
# shared machine the wall time swings with the load, the work done much less.
cpu_seconds() { # INPUT OPTIONS...
    local input=$1
    shift
    /usr/bin/time -f "%U %S" -o "$tmp/time" "$velmor" --raw "$size" --zero-alpha --quiet "$@" \
        <"$input" >/dev/null
    awk '{print $1 + $2}' "$tmp/time"
}
declare -A times
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; i++)); do
    times[off]+="$(cpu_seconds "$tmp/frames.raw") "
    times[on]+="$(cpu_seconds "$tmp/frames.raw" --smoothing "$window") "
    times[deep_off]+="$(cpu_seconds "$tmp/deep.raw" --depth 16) "
    times[deep_on]+="$(cpu_seconds "$tmp/deep.raw" --depth 16 --smoothing "$window") "
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
fastest() { tr ' ' '\n' | grep . | sort -g | head -1; }
awk -v off="$(fastest <<<"${times[off]}")" -v on="$(fastest <<<"${times[on]}")" \
    -v doff="$(fastest <<<"${times[deep_off]}")" -v don="$(fastest <<<"${times[deep_on]}")" \
    -v n="$frames" -v w="$window" -v runs="$runs" 'BEGIN {
    printf "%d frames of 1920x1080 through velmor --raw --zero-alpha, CPU time (user + system), fastest of %d, interleaved\n", n, runs
    printf "8-bit:  smoothing 0 %7.2f ms/frame, --smoothing %d %7.2f ms/frame (%+.1f %%)\n", 1000 * off / n, w, 1000 * on / n, 100 * (on - off) / off
    printf "16-bit: smoothing 0 %7.2f ms/frame, --smoothing %d %7.2f ms/frame (%+.1f %%)\n", 1000 * doff / n, w, 1000 * don / n, 100 * (don - doff) / doff
}'
if [ -n "$bench" ]; then
    "$bench" --raw "$tmp/frames.raw" "$size" "$window" | awk -v w="$window" '{
        printf "8-bit frame run alone (frame_bench, best of 5 passes each): smoothing 0 %.3f ms/frame, %d %.3f ms/frame (%+.1f %%)\n", $1, w, $2, 100 * ($2 - $1) / $1 }'
fi
