#!/usr/bin/env bash
# Sets up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test suite.
# The keychain suite starts its own D-Bus session and GNOME Keyring (scripts/with-keyring.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
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
    source scripts/debian-release.sh
    if ((debian_release == 12)); then
        if ((EUID == 0)); then
            scripts/test-debian13.sh
        else
            echo "The Debian 13 lane is left out: it needs root (sudo scripts/test-debian13.sh)."
        fi
    fi
fi
