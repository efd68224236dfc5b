#!/usr/bin/env bash
# velmor.so inside ffmpeg: a 1080p H.264 clip decoded, turned into BGRA, run
# through the frei0r filter and back to yuv420p (output discarded), against
# the same command without the frei0r step, with frei0r's own normaliz0r
# (Debian's frei0r-plugins) and with ffmpeg's normalize in the same place.
# Wall time, median of RUNS runs (default 7), the four commands taking turns.
# Usage: bench/frei0r.sh [DIRECTORY_OF_VELMOR_SO]   (default build-rel/frei0r)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
plugin_dir=$(realpath "${1:-build-rel/frei0r}")
runs=${RUNS:-7}
length=${SECONDS_OF_VIDEO:-10}
[ -f "$plugin_dir/velmor.so" ] || { echo "frei0r.sh: no velmor.so in $plugin_dir" >&2; exit 1; }
debian_dir=/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/frei0r-1
export FREI0R_PATH="$plugin_dir:$debian_dir:/usr/lib/frei0r-1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -vf "eq=contrast=0.5:brightness=0.1" -c:v libx264 -preset veryfast -pix_fmt yuv420p "$tmp/in.mp4"

declare -A filters=(
    [none]="format=bgra,format=yuv420p"
    [velmor]="format=bgra,frei0r=velmor,format=yuv420p"
    [normaliz0r]="format=bgra,frei0r=normaliz0r,format=yuv420p"
    [normalize]="format=bgra,normalize,format=yuv420p"
)
order=(none velmor normaliz0r normalize)
declare -A times
for ((i = 0; i < runs; i++)); do
    for name in "${order[@]}"; do
        times[$name]+="$(wall_seconds ffmpeg -v error -nostdin -i "$tmp/in.mp4" \
            -vf "${filters[$name]}" -f null -) "
    done
done
none=$(echo "${times[none]}" | median)
echo "$length s of 1920x1080 H.264 at 25 fps, -vf FILTERS -f null -, median of $runs runs"
for name in "${order[@]}"; do
    t=$(echo "${times[$name]}" | median)
    awk -v n="$name" -v f="${filters[$name]}" -v t="$t" -v base="$none" -v s="$length" \
        'BEGIN { printf "%-11s %-46s %6.2f s  %6.1f fps  %.3fx\n", n, f, t, s * 25 / t, t / base }'
done
