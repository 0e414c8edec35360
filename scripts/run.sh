#!/usr/bin/env bash
# Sets up, builds and runs Pindle. Arguments go to the app: `scripts/run.sh ask "Hello"`.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPINDLE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
exec build/release/src/pindle "$@"
