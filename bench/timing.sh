# Sourced by the benchmark scripts.
#   best_seconds N COMMAND...  runs the command N times and prints the shortest wall time
#   wall_seconds COMMAND...    runs it once (its output to standard error) and prints its wall time
#   median                     the median of the blank-separated numbers on standard input
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
