#!/usr/bin/env bash
# Sets a Debian 12 machine up (apt-get), builds velmor and its plug-in for
# ffmpeg (velmor.so, which its file mode runs), and runs its demo:
# a washed-out sample clip made with ffmpeg, corrected, and a before/after
# picture in velmor-demo/. It configures the program alone (no tests), so it
# needs only the "program" packages of tools/packages.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-packages.sh program
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target velmor_cli
build/cli/velmor --demo velmor-demo
echo "== done: velmor-demo/washed-out.mp4, velmor-demo/corrected.mp4, velmor-demo/before-after.png"
