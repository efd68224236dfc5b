#!/usr/bin/env bash
# Deep colour end to end: velmor correcting a 10-bit 4:2:2 1080p ProRes 422
# HQ clip with sound (a tape capture, with lowered contrast) on the route it
# chooses for it (the core's deep run between two ffmpeg processes), the
# same forced through the 8-bit plug-in (VELMOR_ROUTE=8bit), and a plain
# ProRes transcode with no filters. Wall time, median of RUNS runs (default
# 5), the commands taking turns; the load average before and after.
# Usage: bench/deep.sh [VELMOR_BINARY]   (SECONDS_OF_VIDEO=N to change the clip)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build-rel/cli/velmor}")
runs=${RUNS:-5}
length=${SECONDS_OF_VIDEO:-4}
[ -x "$velmor" ] || { echo "deep.sh: no velmor at $velmor" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -f lavfi -i "sine=duration=$length" -vf "eq=contrast=0.5,format=yuv422p10le" \
    -c:v prores_ks -profile:v 3 -c:a pcm_s16le "$tmp/in.mov"

run_plain() {
    ffmpeg -v error -nostdin -y -i "$tmp/in.mov" -c:a copy -c:v prores_ks -profile:v 3 "$tmp/plain.mov"
}
run_eightbit() { VELMOR_ROUTE=8bit "$velmor" "$tmp/in.mov" -o "$tmp/eightbit.mov" --quiet -y; }
run_deep() { "$velmor" "$tmp/in.mov" -o "$tmp/deep.mov" --quiet -y; }
declare -A times
order=(plain eightbit deep)
interleaved "$runs" "${order[@]}"
echo "$length s of 1920x1080 10-bit 4:2:2 ProRes 422 HQ at 25 fps with sound, median of $runs runs"
plain=$(echo "${times[plain]}" | median)
eightbit=$(echo "${times[eightbit]}" | median)
declare -A what=(
    [plain]="plain transcode (prores_ks HQ, no filters)"
    [eightbit]="velmor through the 8-bit plug-in"
    [deep]="velmor at depth (its choice)"
)
for name in "${order[@]}"; do
    t=$(echo "${times[$name]}" | median)
    awk -v w="${what[$name]}" -v t="$t" -v p="$plain" -v e="$eightbit" \
        'BEGIN { printf "%-44s %6.2f s  %.3fx plain  %.3fx the 8-bit route\n", w, t, t / p, t / e }'
done
