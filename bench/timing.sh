# Sourced by the benchmark scripts.
#   best_seconds N COMMAND...  runs the command N times and prints the shortest wall time
#   wall_seconds COMMAND...    runs it once (its output to standard error) and prints its wall time
#   median                     the median of the blank-separated numbers on standard input
#   interleaved RUNS NAME...   runs run_NAME for every NAME in turn, RUNS times over, adding
#                              each wall time to times[NAME] (an associative array the
#                              caller declares); prints the load average before and after
best_seconds() {
    local runs=$1 best=""
    shift
    for ((i = 0; i < runs; i++)); do
        local start end
        start=$(date +%s.%N)
        "$@"
        end=$(date +%s.%N)
        best=$(echo "$start $end ${best:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
    done
    echo "$best"
}

wall_seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >&2
    end=$(date +%s.%N)
    echo "$start $end" | awk '{print $2 - $1}'
}

median() {
    tr ' ' '\n' | grep . | sort -g |
        awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'
}

interleaved() {
    local runs=$1 name
    shift
    echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    for ((i = 0; i < runs; i++)); do
        for name in "$@"; do
            times[$name]+="$(wall_seconds "run_$name") "
        done
    done
    echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
}
