#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting
# from its committed seed corpus. A finding stops the run: its input is
# copied to tests/fuzz/regressions/<target>/, where the test build replays
# it from then on (add it to git with the fix).
# Usage: tools/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null
seconds=${1:-60}

bash tools/install-packages.sh fuzz

echo "== fuzz build (clang, ASan + UBSan)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVELMOR_FUZZ=ON -DVELMOR_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(fuzz_frame_run fuzz_script fuzz_gamma_text fuzz_config_line fuzz_deep_run fuzz_deep_stream)
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

status=0
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus" "$work/artifacts-$target"
    cp tests/fuzz/corpus/"$target"/* "$corpus"/
    echo "== $target, ${seconds} s"
    if build-fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts-$target/" "$corpus" >"$work/$target.log" 2>&1; then
        grep -E "^(stat::number_of_executed_units|Done)" "$work/$target.log" | tail -2 || true
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        status=1
        tail -n 40 "$work/$target.log"
        mkdir -p tests/fuzz/regressions/"$target"
        for found in "$work/artifacts-$target"/*; do
            [ -e "$found" ] || continue
            cp "$found" tests/fuzz/regressions/"$target"/
            echo "== finding kept as tests/fuzz/regressions/$target/$(basename "$found")"
            echo "   reproduce: build-fuzz/tests/fuzz/$target tests/fuzz/regressions/$target/$(basename "$found")"
        done
    fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
