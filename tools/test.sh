#!/usr/bin/env bash
# Installs what the build needs (Debian 12, apt-get), builds, and runs every
# test: the Windows plug-ins, 32- and 64-bit (cross-compiled, their tests
# under Wine), the normal build (which also compares its frames with both
# plug-ins'), then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null # nothing here reads a terminal: neither apt nor Wine may wait on one

bash tools/install-packages.sh cmake g++ make libgtest-dev googletest libbenchmark-dev libpng-dev ffmpeg g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb fonts-wine fonts-liberation help2man lintian \
    frei0r-plugins-dev libexpat1-dev melt gstreamer1.0-tools gstreamer1.0-plugins-bad gstreamer1.0-plugins-base

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

# The plug-ins first: the Linux tree compares its digest of a fixed frame
# set with each plug-in's, run under Wine from build-win and build-win64.
run_suite "Windows 32-bit (cross; tests under Wine)" build-win --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
run_suite "Windows 64-bit (cross; tests under Wine)" build-win64 --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
run_suite "Linux" build -DVELMOR_WINDOWS_BUILD="$PWD/build-win" -DVELMOR_WINDOWS64_BUILD="$PWD/build-win64"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite "Sanitized (ASan + UBSan)" build-asan -DVELMOR_SANITIZE=ON

# The Debian package, installed and removed as a user would: only as root
# (CI runs as root), since it changes the system's packages.
if [ "$(id -u)" -eq 0 ]; then
    echo "== Debian package"
    bash tools/package-test.sh build || status=1
else
    echo "== Debian package: skipped (run as root to install and remove it)"
fi

if [ $status -ne 0 ]; then echo "== FAILED"; else echo "== all tests passed"; fi
exit $status
