#!/usr/bin/env bash
# Installs what the build needs (Debian 12, apt-get), builds, and runs every
# test: the Windows plug-ins, 32- and 64-bit (cross-compiled, their tests
# under Wine), the normal build (which also compares its frames with both
# plug-ins' and runs velmor.so in two ffmpeg builds, one of them built here
# once: tools/ffmpeg-packed-rows.sh), then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
# Usage: tools/test.sh [--configure-only]
#   --configure-only: install and configure every tree, build and run nothing
#   (what the fresh-root run checks of this command; tools/fresh-root.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null # nothing here reads a terminal: neither apt nor Wine may wait on one
configure_only=false
case "${1:-}" in
    "") ;;
    --configure-only) configure_only=true ;;
    *) echo "usage: tools/test.sh [--configure-only]" >&2; exit 2 ;;
esac

bash tools/install-packages.sh program plugins tests package

jobs=$(nproc 2>/dev/null || echo 2)
status=0

# The ffmpeg with packed frei0r rows that the host tests run velmor.so in
# beside Debian's (tools/ffmpeg-packed-rows.sh): built once into
# /var/cache/velmor-ffmpeg-packed/, 1.5 to 2.5 minutes on 2 cores.
if ! $configure_only; then
    echo "== ffmpeg with packed frei0r rows"
    if packed=$(bash tools/ffmpeg-packed-rows.sh); then
        export VELMOR_PACKED_FFMPEG=$packed
        echo "$packed"
    else
        status=1
    fi
fi
run_suite() { # name, build dir, extra cmake arguments...
    local name=$1 dir=$2
    shift 2
    echo "== $name $($configure_only && echo configure || echo build)"
    # Tests on explicitly: tools/demo.sh may have configured build/ without.
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_TESTS=ON "$@" >/dev/null
    if $configure_only; then return; fi
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

if $configure_only; then echo "== configured: build-win, build-win64, build, build-asan"; exit 0; fi

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
