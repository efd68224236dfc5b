#!/usr/bin/env bash
# Batches. Photographs (bench/batch_inputs.py: crops of python3-skimage's
# colour photographs, scaled to about 640x480 and washed out, as JPEG):
# velmor's batch (velmor PHOTOS... -o DIR/) against ImageMagick's
# `mogrify -contrast-stretch 0.5%` and against a shell loop of one-file
# velmor. Short clips (washed-out H.264 with sound): velmor's batch at each
# -j in JOBS against the shell loop. Wall time, median of RUNS runs, the
# commands taking turns (bench/timing.sh), the load average printed before
# and after; and the memory each job took at most (the batch's --report:
# the file's velmor or its ffmpeg, whichever held more).
# Usage: bench/batch.sh [VELMOR_BINARY]
#   PHOTOS=200 CLIPS=20 CLIP_SECONDS=2 RUNS=3 JOBS="1 2 3 4" (the -j values
#   tried on the clips; the photos' batch runs with velmor's default)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build-rel/cli/velmor}")
photos=${PHOTOS:-200} clips=${CLIPS:-20} length=${CLIP_SECONDS:-2} runs=${RUNS:-3}
read -r -a jobs <<<"${JOBS:-1 2 3 4}"
[ -x "$velmor" ] || { echo "batch.sh: no velmor at $velmor" >&2; exit 1; }
command -v mogrify >/dev/null || { echo "batch.sh: no mogrify (tools/install-packages.sh bench)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 bench/batch_inputs.py "$tmp/photos" "$photos"
mkdir -p "$tmp/clips"
for ((i = 0; i < clips; i++)); do
    ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=960x540:rate=30:duration=$length" \
        -f lavfi -i "sine=frequency=$((300 + i * 20)):duration=$length" \
        -vf "eq=contrast=0.$((3 + i % 5)):brightness=0.0$((i % 9))" -c:v libx264 -preset veryfast \
        -pix_fmt yuv420p -c:a aac "$tmp/clips/clip$(printf %03d "$i").mp4"
done

fresh() { rm -rf "$tmp/out" && mkdir -p "$tmp/out"; }
loop() { # folder: one velmor per file, one after another
    local f
    for f in "$tmp/$1"/*; do "$velmor" "$f" -o "$tmp/out/$(basename "$f")" --quiet -y; done
}
run_photos_batch() { fresh; "$velmor" "$tmp/photos"/*.jpg -o "$tmp/out/" -q --report "$tmp/photos.csv" 2>/dev/null; }
run_photos_mogrify() { fresh; mogrify -path "$tmp/out" -contrast-stretch 0.5% "$tmp/photos"/*.jpg; }
run_photos_loop() { fresh; loop photos; }
run_clips_loop() { fresh; loop clips; }
names=(photos_batch photos_mogrify photos_loop clips_loop)
for j in "${jobs[@]}"; do
    eval "run_clips_j$j() { fresh; \"\$velmor\" \"\$tmp/clips\"/*.mp4 -o \"\$tmp/out/\" -q -j $j --report \"\$tmp/clips-j$j.csv\" 2>/dev/null; }"
    names+=("clips_j$j")
done
declare -A times
echo "$(nproc) cores; velmor's default -j here: $(nproc)"
interleaved "$runs" "${names[@]}"

med() { echo "${times[$1]}" | median; }
peak() { # the report's peak_kib column: median and largest, in MiB
    tail -n +2 "$1" | awk -F, '{print $NF}' | sort -n |
        awk '{v[NR] = $1} END {printf "%.0f MiB median, %.0f MiB most", v[int((NR + 1) / 2)] / 1024, v[NR] / 1024}'
}
echo "$photos photographs of about 640x480 (JPEG), median of $runs runs:"
mog=$(med photos_mogrify)
for n in photos_batch photos_mogrify photos_loop; do
    awk -v n="$n" -v t="$(med "$n")" -v m="$mog" -v c="$photos" \
        'BEGIN { printf "  %-16s %7.2f s  %6.1f ms a photo  %5.2fx mogrify\n", n, t, 1000 * t / c, t / m }'
done
echo "  memory per job (velmor batch): $(peak "$tmp/photos.csv")"
echo "$clips clips of $length s, 960x540 H.264 at 30 fps with sound, median of $runs runs:"
lp=$(med clips_loop)
for n in clips_loop "${names[@]:4}"; do
    awk -v n="$n" -v t="$(med "$n")" -v l="$lp" \
        'BEGIN { printf "  %-16s %7.2f s  %5.2fx faster than the loop\n", n, t, l / t }'
done
for j in "${jobs[@]}"; do echo "  memory per job (-j $j): $(peak "$tmp/clips-j$j.csv")"; done
