#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with an unlocked GNOME Keyring whose data lives in
# a temporary home folder, so tests never touch the user's own keyring.
set -euo pipefail

scratch=$(mktemp -d)
# The desktop portal's document store (Qt 6.8 starts the portal) can still be mounted under the
# runtime folder when the session ends: detach what is mounted there first. The clean-up never
# decides the exit status.
clean_up() {
    local point
    awk -v under="$scratch/" 'index($2, under) == 1 { print $2 }' /proc/self/mounts |
        while read -r point; do
            fusermount3 -u -z "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true
        done
    rm -rf "$scratch" 2>/dev/null || true
}
trap clean_up EXIT
mkdir -m 700 -p "$scratch/run"
export HOME="$scratch" XDG_DATA_HOME="$scratch/.local/share" XDG_RUNTIME_DIR="$scratch/run"

status=0
dbus-run-session -- bash -c '
    echo -n pindle-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' with-keyring "$@" || status=$?
exit "$status"
