# Sourced by the benchmark scripts: best_seconds N COMMAND... runs the
# command N times and prints the shortest wall time in seconds.
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
