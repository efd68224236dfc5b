#!/usr/bin/env bash
# Installs what the build needs (Debian 12, apt-get), builds, and runs every
# test: the normal build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make libgtest-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "== installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
status=0
run_suite() { # name, build dir, extra cmake arguments...
    local name=$1 dir=$2
    shift 2
    echo "== $name build"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== $name tests"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure || status=1
}

run_suite "Linux" build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite "Sanitized (ASan + UBSan)" build-asan -DVELMOR_SANITIZE=ON

if [ $status -ne 0 ]; then echo "== FAILED"; else echo "== all tests passed"; fi
exit $status
