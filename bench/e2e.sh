#!/usr/bin/env bash
# End to end: velmor correcting a 1080p H.264 clip with sound, against the
# very ffmpeg command velmor runs with the filter step (frei0r=velmor, and
# the padding around it) taken out, so that only the conversions to BGRA and
# back remain; a plain transcode with the same encoder settings and no
# filters; and velmor's command with frei0r's normaliz0r (Debian's
# frei0r-plugins) or ffmpeg's normalize in the filter's place. Wall time,
# median of RUNS runs (default 5), the commands taking turns, so that load
# from other work on the machine falls on all of them alike; the load
# average is printed before and after.
# Usage: bench/e2e.sh [VELMOR_BINARY]   (SECONDS_OF_VIDEO=N to change the clip)
#   BEFORE=VELMOR_BINARY adds that velmor (a build before a change) as one
#   more command in the same series.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build-rel/cli/velmor}")
runs=${RUNS:-5}
length=${SECONDS_OF_VIDEO:-6}
[ -x "$velmor" ] || { echo "e2e.sh: no velmor at $velmor" >&2; exit 1; }
debian_dir=/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/frei0r-1
peers="$debian_dir:/usr/lib/frei0r-1"
[ -f "$debian_dir/normaliz0r.so" ] || [ -f /usr/lib/frei0r-1/normaliz0r.so ] ||
    { echo "e2e.sh: no normaliz0r.so (apt-get install frei0r-plugins)" >&2; exit 1; }
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
# The command with the filter step replaced by $1 (empty: taken out).
instead() {
    local arg
    for arg in "${command[@]}"; do
        case $arg in
        pipe:3) echo pipe:1 ;; # the progress report, discarded
        *frei0r=velmor*) echo "$arg" | sed -E "s/,pad=[^,]*//; s/,frei0r=velmor[^,]*/${1:+,$1}/; s/,crop=[^,]*//" ;;
        *) echo "$arg" ;;
        esac
    done
}
mapfile -t conversions < <(instead "")
mapfile -t normaliz0r < <(instead frei0r=normaliz0r)
mapfile -t normalize < <(instead normalize)

run_velmor() { "$velmor" "$tmp/in.mp4" -o "$tmp/corrected.mp4" --quiet -y; }
run_conversions() { "${conversions[@]}" "$tmp/conversions.mp4" >/dev/null; }
run_plain() {
    ffmpeg -v error -nostdin -y -i "$tmp/in.mp4" -map 0:v -map 0:a -c:a copy -c:v libx264 \
        -preset medium -crf 16 -pix_fmt yuv420p "$tmp/plain.mp4"
}
run_normaliz0r() { FREI0R_PATH=$peers "${normaliz0r[@]}" "$tmp/normaliz0r.mp4" >/dev/null; }
run_normalize() { "${normalize[@]}" "$tmp/normalize.mp4" >/dev/null; }
run_before() { "$BEFORE" "$tmp/in.mp4" -o "$tmp/before.mp4" --quiet -y; }
declare -A times
order=(plain conversions velmor normaliz0r normalize)
[ -z "${BEFORE:-}" ] || order+=(before)
interleaved "$runs" "${order[@]}"
echo "velmor's command: $shown"
echo "$length s of 1920x1080 H.264 at 25 fps with sound, median of $runs runs"
plain=$(echo "${times[plain]}" | median)
conv=$(echo "${times[conversions]}" | median)
declare -A what=(
    [plain]="plain transcode (libx264 medium crf 16, no filters)"
    [conversions]="velmor's command without the filter step"
    [velmor]="velmor"
    [normaliz0r]="velmor's command with frei0r=normaliz0r instead"
    [normalize]="velmor's command with normalize instead"
    [before]="velmor before (${BEFORE:-})"
)
for name in "${order[@]}"; do
    t=$(echo "${times[$name]}" | median)
    awk -v w="${what[$name]}" -v t="$t" -v p="$plain" -v c="$conv" \
        'BEGIN { printf "%-52s %6.2f s  %.3fx plain  %.3fx the conversions\n", w, t, t / p, t / c }'
done
