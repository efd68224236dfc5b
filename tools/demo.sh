#!/usr/bin/env bash
# Sets a Debian 12 machine up (apt-get), builds velmor and its plug-in for
# ffmpeg (velmor.so, which its file mode runs), and runs its demo:
# a washed-out sample clip made with ffmpeg, corrected, and a before/after
# picture in velmor-demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-packages.sh cmake g++ make libgtest-dev libpng-dev ffmpeg frei0r-plugins-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target velmor_cli
build/cli/velmor --demo velmor-demo
echo "== done: velmor-demo/washed-out.mp4, velmor-demo/corrected.mp4, velmor-demo/before-after.png"
