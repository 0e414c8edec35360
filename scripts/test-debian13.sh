#!/usr/bin/env bash
# The Debian 13 lane of the test run: builds Pindle in a Debian 13 ("trixie") root and runs the
# suites there. The root is made with debootstrap the first time and kept in
# /var/cache/pindle/debian13-root (its packages, about 600 MB, come with the first run); this clone
# is mounted into it at the same path, and the build goes to build/debian13 (RelWithDebInfo with
# warnings as errors: the sanitizers run in the Debian 12 lane). Needs root and deb.debian.org.
# Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" == --inside ]]; then
    shift
    scripts/install-deps.sh
    build=build/debian13/test
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPINDLE_WERROR=ON >/dev/null
    cmake --build "$build"
    exec ctest --test-dir "$build" --output-on-failure --timeout 300 "$@"
fi

started=$SECONDS
source scripts/debian-root.sh
root=/var/cache/pindle/debian13-root
debian_root trixie "$root"
root_binds=("$PWD")
inside=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 PINDLE_BUILD=build/debian13)
# --prepare: only the root and its packages, which scripts/test.sh has made while the Debian 12
# lane runs.
if [[ "${1:-}" == --prepare ]]; then
    in_mounted_root "$root" "${inside[@]}" "$PWD/scripts/install-deps.sh"
    echo "Debian 13 root ready: $((SECONDS - started)) s"
    exit 0
fi
status=0
in_mounted_root "$root" "${inside[@]}" "$PWD/scripts/test-debian13.sh" --inside "$@" || status=$?
echo "Debian 13 lane: $((SECONDS - started)) s"
exit "$status"
