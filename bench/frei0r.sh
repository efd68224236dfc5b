#!/usr/bin/env bash
# velmor.so inside ffmpeg: a 1080p H.264 clip decoded, turned into BGRA, run
# through the frei0r filter and back to yuv420p (output discarded), against
# the same command with only the two conversions, a plain decode without
# them, frei0r's own normaliz0r (Debian's frei0r-plugins) and ffmpeg's
# normalize in the filter's place. Wall time, median of RUNS runs (default
# 7), the commands taking turns, so that load from other work on the
# machine falls on all of them alike; the load average is printed before
# and after.
# Usage: bench/frei0r.sh [DIRECTORY_OF_VELMOR_SO]   (default build-rel/frei0r)
#   BEFORE=DIRECTORY adds the velmor.so there (a build before a change) as
#   one more command in the same series.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
plugin_dir=$(realpath "${1:-build-rel/frei0r}")
runs=${RUNS:-7}
length=${SECONDS_OF_VIDEO:-10}
[ -f "$plugin_dir/velmor.so" ] || { echo "frei0r.sh: no velmor.so in $plugin_dir" >&2; exit 1; }
debian_dir=/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/frei0r-1
[ -f "$debian_dir/normaliz0r.so" ] || [ -f /usr/lib/frei0r-1/normaliz0r.so ] ||
    { echo "frei0r.sh: no normaliz0r.so (apt-get install frei0r-plugins)" >&2; exit 1; }
export FREI0R_PATH="$plugin_dir:$debian_dir:/usr/lib/frei0r-1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -vf "eq=contrast=0.5:brightness=0.1" -c:v libx264 -preset veryfast -pix_fmt yuv420p "$tmp/in.mp4"

declare -A filters=(
    [plain]="null"
    [conversions]="format=bgra,format=yuv420p"
    [velmor]="format=bgra,frei0r=velmor,format=yuv420p"
    [normaliz0r]="format=bgra,frei0r=normaliz0r,format=yuv420p"
    [normalize]="format=bgra,normalize,format=yuv420p"
)
order=(plain conversions velmor normaliz0r normalize)
declare -A path=()
if [ -n "${BEFORE:-}" ]; then
    before_dir=$(realpath "$BEFORE")
    [ -f "$before_dir/velmor.so" ] || { echo "frei0r.sh: no velmor.so in $before_dir" >&2; exit 1; }
    filters[before]=${filters[velmor]}
    path[before]="$before_dir:$debian_dir:/usr/lib/frei0r-1"
    order+=(before)
fi
declare -A times
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; i++)); do
    for name in "${order[@]}"; do
        times[$name]+="$(FREI0R_PATH=${path[$name]:-$FREI0R_PATH} wall_seconds ffmpeg -v error \
            -nostdin -i "$tmp/in.mp4" -vf "${filters[$name]}" -f null -) "
    done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
base=$(echo "${times[conversions]}" | median)
echo "$length s of 1920x1080 H.264 at 25 fps, -vf FILTERS -f null -, median of $runs runs"
for name in "${order[@]}"; do
    t=$(echo "${times[$name]}" | median)
    awk -v n="$name" -v f="${filters[$name]}" -v t="$t" -v base="$base" -v s="$length" \
        'BEGIN { printf "%-11s %-46s %6.2f s  %6.1f fps  %.3fx the conversions\n", n, f, t, s * 25 / t, t / base }'
done
