#!/usr/bin/env bash
# Sets up, builds and runs Pindle against a local pindle-server (SQLite in the XDG data folder).
# The server it starts here stops when Pindle quits.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPINDLE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release

server=build/release/server/pindle-server
healthy() { curl -sf --max-time 2 http://127.0.0.1:8787/healthz >/dev/null 2>&1; }
if ! healthy; then
    log=${XDG_STATE_HOME:-$HOME/.local/state}/pindle/server.log
    mkdir -p "$(dirname "$log")"
    "$server" serve >>"$log" 2>&1 &
    server_pid=$!
    trap 'kill "$server_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        healthy && break
        kill -0 "$server_pid" 2>/dev/null || { echo "pindle-server did not start; see $log" >&2; exit 1; }
        sleep 0.1
    done
fi
build/release/src/pindle "$@"
