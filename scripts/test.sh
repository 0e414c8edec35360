#!/usr/bin/env bash
# Sets up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test suite.
# The keychain suite starts its own D-Bus session and GNOME Keyring (scripts/with-keyring.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# A full run on Debian 12 as root ends with the Debian 13 lane (scripts/test-debian13.sh): its root
# and packages, mostly downloads, are made meanwhile.
source scripts/debian-release.sh
lane13=0
if (($# == 0 && debian_release == 12 && EUID == 0)); then
    lane13=1
    mkdir -p build
    scripts/test-debian13.sh --prepare >build/debian13-prepare.log 2>&1 &
    preparing=$!
    # However this run ends, apt in that root is not cut off halfway.
    trap 'wait "$preparing" 2>/dev/null || true' EXIT
fi
build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPINDLE_SANITIZE=ON -DPINDLE_WERROR=ON >/dev/null
cmake --build "$build"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure --timeout 300 "$@"

# On a full run, each fuzz target for a short while, from its seeds (about three minutes from a
# clean build); then, on Debian 12, the same suites again on Debian 13 in a root of its own.
if (($# == 0)); then
    scripts/fuzz.sh 15
    if ((lane13)); then
        wait "$preparing" || {
            echo "Preparing the Debian 13 root failed (the lane tries again):"
            tail -n 30 build/debian13-prepare.log
        }
        scripts/test-debian13.sh
    elif ((debian_release == 12)); then
        echo "The Debian 13 lane is left out: it needs root (sudo scripts/test-debian13.sh)."
    fi
fi
