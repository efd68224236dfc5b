#!/usr/bin/env bash
# What reading an input costs velmor. On PHOTOS photographs of about
# 640x480 (JPEG, bench/batch_inputs.py): the CPU time per photograph of an
# ffprobe run each (as velmor probed before) against velmor's probe in its
# own process (probe_call, which calls it ROUNDS times a file); the start
# of `velmor --version` (velmor loads ffmpeg's libraries now), CPU and
# wall time a start over STARTS starts; and one photograph's whole
# conversion, CPU and wall time, median of RUNS (GNU time). With
# BEFORE=an/older/velmor the last two are measured for it too, in turns.
# Usage: bench/probe.sh [VELMOR_BINARY [PROBE_CALL]]
#   PHOTOS=50 ROUNDS=5 STARTS=50 RUNS=5 BEFORE=
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
velmor=$(realpath "${1:-build/cli/velmor}")
probe_call=$(realpath "${2:-$(dirname "$velmor")/../bench/probe_call}")
photos=${PHOTOS:-50} rounds=${ROUNDS:-5} starts=${STARTS:-50} runs=${RUNS:-5}
before=${BEFORE:+$(realpath "$BEFORE")}
for p in "$velmor" "$probe_call" $before; do
    [ -x "$p" ] || { echo "probe.sh: no program at $p" >&2; exit 1; }
done
command -v /usr/bin/time >/dev/null || { echo "probe.sh: no GNU time (tools/install-packages.sh bench)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 bench/batch_inputs.py "$tmp/photos" "$photos"
set -- "$tmp/photos"/*.jpg
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# CPU (user + system) and wall seconds of a command, from GNU time.
cpu_wall() { /usr/bin/time -f "%U %S %e" -o "$tmp/time" "$@" >/dev/null 2>&1; awk '{print $1 + $2, $3}' "$tmp/time"; }
per() { awk -v n="$2" '{printf "%.1f ms CPU, %.1f ms wall", 1000 * $1 / n, 1000 * $2 / n}' <<<"$1"; }

ffprobe_loop() { for f; do ffprobe -v error -show_streams -show_format -of flat "file:$f" >/dev/null; done; }
export -f ffprobe_loop
echo "probe, a photograph ($photos photographs):"
echo "  ffprobe run each:  $(per "$(cpu_wall bash -c 'ffprobe_loop "$@"' _ "$@")" "$photos")"
read -r cpu wall < <("$probe_call" "$rounds" "$@")
awk -v c="$cpu" -v w="$wall" -v r="$rounds" \
    'BEGIN {printf "  in-process:        %.1f ms CPU, %.1f ms wall (%d rounds)\n", 1000 * c, 1000 * w, r}'

starts_of() { for ((i = 0; i < starts; i++)); do "$1" --version >/dev/null; done; }
export -f starts_of
export starts
one_photo() { # velmor, run number, photograph
    cpu_wall "$1" "$3" -o "$tmp/out$2.jpg" -y -q
}
programs=(${before:+"$before"} "$velmor")
label() { [ "$1" = "$velmor" ] && echo "velmor" || echo "before"; }
declare -A cpus walls
for v in "${programs[@]}"; do
    echo "$(label "$v") --version start: $(per "$(cpu_wall bash -c 'starts_of "$0"' "$v")" "$starts") ($starts starts; $v)"
done
for ((r = 0; r < runs; r++)); do
    for v in "${programs[@]}"; do
        read -r c w < <(one_photo "$v" "$r" "$1")
        cpus[$v]+="$c " walls[$v]+="$w "
    done
done
for v in "${programs[@]}"; do
    echo "$(label "$v") one photograph: $(echo "${cpus[$v]}" | median) s CPU, $(echo "${walls[$v]}" | median) s wall (median of $runs)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
