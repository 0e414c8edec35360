#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with an unlocked GNOME Keyring whose data lives in
# a temporary home folder, so tests never touch the user's own keyring.
set -euo pipefail

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 -p "$scratch/run"
export HOME="$scratch" XDG_DATA_HOME="$scratch/.local/share" XDG_RUNTIME_DIR="$scratch/run"

status=0
dbus-run-session -- bash -c '
    echo -n pindle-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' with-keyring "$@" || status=$?
exit "$status"
