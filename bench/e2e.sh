#!/usr/bin/env bash
# End to end: velmor correcting a 1080p H.264 clip with sound, against the
# very ffmpeg command velmor runs with the filter step (frei0r=velmor, and
# the padding around it) taken out, and against a plain transcode with the
# same encoder settings and no filters. Wall time, median of RUNS runs
# (default 5), the three commands taking turns, so that load from other work
# on the machine falls on all three alike.
# Usage: bench/e2e.sh [VELMOR_BINARY]   (SECONDS_OF_VIDEO=N to change the clip)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build-rel/cli/velmor}")
runs=${RUNS:-5}
length=${SECONDS_OF_VIDEO:-6}
[ -x "$velmor" ] || { echo "e2e.sh: no velmor at $velmor" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -f lavfi -i "sine=duration=$length" -vf "eq=contrast=0.5:brightness=0.1" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$tmp/in.mp4"

# velmor's own command, as it shows it (no blanks in any argument here).
shown=$(VELMOR_SHOW_COMMAND=1 "$velmor" "$tmp/in.mp4" -o "$tmp/shown.mp4" --quiet -y 2>&1 >/dev/null |
    sed -n 's/^velmor: FREI0R_PATH=[^ ]* //p')
read -r -a command <<<"$shown"
unset 'command[${#command[@]}-1]' # the temporary output
nofilter=()
for arg in "${command[@]}"; do
    case $arg in
    pipe:3) nofilter+=(pipe:1) ;; # the progress report, discarded
    *frei0r=velmor*) nofilter+=("$(echo "$arg" | sed -E 's/,pad=[^,]*//; s/,frei0r=velmor[^,]*//; s/,crop=[^,]*//')") ;;
    *) nofilter+=("$arg") ;;
    esac
done

run_velmor() { "$velmor" "$tmp/in.mp4" -o "$tmp/corrected.mp4" --quiet -y; }
run_nofilter() { "${nofilter[@]}" "$tmp/nofilter.mp4" >/dev/null; }
run_plain() {
    ffmpeg -v error -nostdin -y -i "$tmp/in.mp4" -map 0:v -map 0:a -c:a copy -c:v libx264 \
        -preset medium -crf 16 -pix_fmt yuv420p "$tmp/plain.mp4"
}
declare -A times
order=(plain nofilter velmor)
for ((i = 0; i < runs; i++)); do
    for name in "${order[@]}"; do
        times[$name]+="$(wall_seconds "run_$name") "
    done
done
plain=$(echo "${times[plain]}" | median)
nof=$(echo "${times[nofilter]}" | median)
vm=$(echo "${times[velmor]}" | median)
echo "velmor's command: $shown"
awk -v p="$plain" -v n="$nof" -v v="$vm" -v s="$length" -v r="$runs" 'BEGIN {
    printf "%d s of 1920x1080 H.264 at 25 fps with sound, median of %d runs\n", s, r
    printf "plain transcode (libx264 medium crf 16, no filters): %6.2f s\n", p
    printf "velmor'"'"'s command without the filter step:          %6.2f s\n", n
    printf "velmor:                                            %6.2f s\n", v
    printf "velmor takes %.3fx its command without the filter, %.3fx a plain transcode\n", v / n, v / p
}'
