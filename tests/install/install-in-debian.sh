#!/usr/bin/env bash
# Installs the two packages (scripts/package.sh) into a minimal root of the Debian release they
# were built on, made with debootstrap, as a new user would with apt; starts the server there as
# its unit would, without systemd; signs in through it; and removes the packages again, checking
# that nothing is left behind but the configuration and data an operator keeps. The root is made
# once and kept in $PINDLE_DEBIAN_ROOT (default /var/cache/pindle/debian12-root, or -debian13-).
# Needs root.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/debian-release.sh
source scripts/debian-root.sh
root=${PINDLE_DEBIAN_ROOT:-/var/cache/pindle/debian$debian_release-root}
upstream_version=$(sed -n 's/^project(Pindle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version=$upstream_version~deb$debian_release
arch=$(dpkg --print-architecture)
packages=${PINDLE_BUILD:-build}/package/packages
port=18787
server_pid=

debian_root "$debian_codename" "$root"

mounted=()
cleanup() {
    if [[ -n "$server_pid" ]]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || true
    done
    rm -rf "$root/tmp/pindle-packages"
}
trap cleanup EXIT
for fs in proc sys dev dev/pts; do
    mount --bind "/$fs" "$root/$fs"
    mounted+=("$root/$fs")
done
# No init system runs here: packages must not try to start services.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# Every file of the root but the ones that change by themselves.
files() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp \
        -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt/lists \
        -o -path ./var/lib/dpkg \) -prune -o -print | sort)
}
fail() {
    echo "install check failed: $*" >&2
    exit 1
}

mkdir -p "$root/tmp/pindle-packages"
cp "$packages/pindle_${version}_${arch}.deb" "$packages/pindle-server_${version}_${arch}.deb" \
    "$root/tmp/pindle-packages/"
install_both() {
    in_root apt-get install -y -qq --no-install-recommends \
        "/tmp/pindle-packages/pindle-server_${version}_${arch}.deb" \
        "/tmp/pindle-packages/pindle_${version}_${arch}.deb" >/dev/null
}

# Once, so that their dependencies are in the root: what stays after removing them is measured
# against the root with the dependencies alone.
in_root apt-get update -qq >/dev/null
in_root apt-get install -y -qq --no-install-recommends apt-utils >/dev/null 2>&1
install_both
in_root dpkg --purge pindle pindle-server >/dev/null
rm -rf "$root/var/lib/pindle" "$root/etc/pindle"
before=$(files)

install_both
[[ "$(in_root pindle --version)" == "Pindle $upstream_version" ]] || fail "pindle --version"
[[ "$(in_root pindle-server --version)" == "pindle-server $upstream_version" ]] || fail "pindle-server --version"
[[ "$(stat -c %a "$root/etc/pindle/server.env")" == 600 ]] || fail "server.env is readable by others"
# The app starts from what the package brought: with no session it opens its sign-in window, whose
# QML modules, style and plugins must all be there.
install -d -m 700 "$root/tmp/pindle-packages/runtime"
app_log=$(timeout 8 chroot "$root" env -i PATH=/usr/bin:/bin HOME=/tmp \
    XDG_RUNTIME_DIR=/tmp/pindle-packages/runtime \
    QT_QPA_PLATFORM=offscreen pindle 2>&1 || true)
[[ "$app_log" != *"not installed"* && "$app_log" != *"rror"* && "$app_log" != *"Could not"* ]] ||
    fail "pindle did not start cleanly: $app_log"

# What systemd would do for the unit: its state folder for a user of its own, then its ExecStart
# line, with the environment file's settings.
unit="$root/lib/systemd/system/pindle-server.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
mkdir -p "$root/var/lib/pindle"
chown nobody:nogroup "$root/var/lib/pindle"
chmod 700 "$root/var/lib/pindle"
service_command=(chroot --userspec=nobody:nogroup "$root" env -i PATH=/usr/bin:/bin
    HOME=/var/lib/pindle PINDLE_PORT=$port)
echo "secret-password" | "${service_command[@]}" /usr/bin/pindle-server --config /etc/pindle/server.json \
    user create ada@example.org "Ada" 1000 >/dev/null || fail "user create"
# shellcheck disable=SC2086 # the unit's command line, word by word
"${service_command[@]}" $exec_start >"$root/tmp/pindle-packages/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && break
    sleep 0.1
done
answer=$(curl -s -H 'Content-Type: application/json' \
    -d '{"email": "ada@example.org", "password": "secret-password"}' \
    "http://127.0.0.1:$port/api/auth/login")
[[ "$answer" == *'"token"'* ]] || fail "signing in answered: $answer; $(cat "$root/tmp/pindle-packages/server.log")"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
((status == 0)) || fail "the server ended with status $status on SIGTERM: $(cat "$root/tmp/pindle-packages/server.log")"
server_pid=
[[ -f "$root/var/lib/pindle/pindle.db" ]] || fail "the database is not in the state folder"

# Removed, not purged: what an operator keeps stays (the configuration and the data), nothing else.
in_root apt-get remove -y -qq pindle pindle-server >/dev/null
left=$(comm -13 <(echo "$before") <(files))
expected=$(printf '%s\n' ./etc/pindle ./etc/pindle/server.env ./etc/pindle/server.json \
    ./var/lib/pindle $(cd "$root" && find ./var/lib/pindle -mindepth 1 | sort))
[[ "$left" == "$(echo "$expected" | sort)" ]] ||
    fail "removing the packages left behind: $(comm -23 <(echo "$left") <(echo "$expected" | sort))"
in_root dpkg --purge pindle pindle-server >/dev/null 2>&1
rm -rf "$root/var/lib/pindle"
echo "installed, served, signed in and removed in $root"
