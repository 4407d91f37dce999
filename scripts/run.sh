#!/usr/bin/env bash
# Sets everything up and runs the display server on an embedded default: a local broker and a
# virtual pole display. Until the server program exists it builds and says what it would run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
echo "run: built; the server program (kestova-displayd) is not part of this build yet."
echo "run: it will start mosquitto on a free loopback port, a virtual display on a pseudo-terminal,"
echo "run: and the server headless with a demo Settings.ini pointing at both."
