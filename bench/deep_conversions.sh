#!/usr/bin/env bash
# The deep route's two conversions alone, by scaler and threads: 4 s of
# 1080p 10-bit 4:2:2 ProRes 422 HQ decoded (no output but ffmpeg's null
# muxer), then into planar 16-bit RGB (the way in), then that and back into
# 10-bit 4:2:2 (the way out: the difference), by zscale (what the route
# uses) and by ffmpeg's own scaler (with accurate rounding and full chroma
# interpolation, which still puts 16-bit white at 65283, not 65535), each
# with -filter_threads 1 and 2. Whole processes, taking turns; wall and CPU
# (user + system) medians of RUNS runs (default 5), the load before and after.
# Usage: bench/deep_conversions.sh   (SECONDS_OF_VIDEO=N for a clip of N seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
runs=${RUNS:-5}
length=${SECONDS_OF_VIDEO:-4}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$length" \
    -vf "eq=contrast=0.5,format=yuv422p10le" -c:v prores_ks -profile:v 3 "$tmp/in.mov"
zin="zscale=min=709:rin=limited:r=full:f=bicubic,format=gbrp16le"
zout="zscale=rin=full:m=709:r=limited:f=lanczos,format=yuv422p10le"
sws="flags=bicubic+accurate_rnd+full_chroma_int"
sin="scale=in_color_matrix=bt709:in_range=tv:out_range=pc:$sws,format=gbrp16le"
sout="scale=out_color_matrix=bt709:in_range=pc:out_range=tv:${sws/bicubic/lanczos},format=yuv422p10le"
declare -A chain=(
    [decode]="null"
    [zscale_in]="$zin" [zscale_both]="$zin,$zout"
    [swscale_in]="$sin" [swscale_both]="$sin,$sout"
)
names=()
for c in decode zscale_in zscale_both swscale_in swscale_both; do
    for t in 1 2; do names+=("$c/$t"); done
done
declare -A wall_=() cpu_=()
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; i++)); do
    for name in "${names[@]}"; do
        /usr/bin/time -f "%e %U %S" -o "$tmp/t" ffmpeg -v error -nostdin -filter_threads "${name#*/}" \
            -i "$tmp/in.mov" -an -vf "${chain[${name%/*}]}" -f null - 2>/dev/null
        read -r w u s <"$tmp/t"
        wall_[$name]+="$w "
        cpu_[$name]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs runs, seconds for $((length * 25)) frames"
for name in "${names[@]}"; do
    printf "%-16s wall %6.2f  cpu %6.2f\n" "$name" "$(echo "${wall_[$name]}" | median)" \
        "$(echo "${cpu_[$name]}" | median)"
done
