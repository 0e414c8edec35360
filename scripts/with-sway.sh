#!/usr/bin/env bash
# Runs a command in a Wayland session of its own: sway without a screen (1440x900), XWayland on
# demand, on a private D-Bus session bus that starts no services (a test's fake portal answers
# there). The command gets WAYLAND_DISPLAY, DISPLAY (XWayland's), SWAYSOCK and
# XDG_CURRENT_DESKTOP=sway as a user's session would give them. Sway will not run as root, so
# under root it runs as nobody; the caller stays who it is.
set -euo pipefail

if [[ -z "${PINDLE_TEST_OWN_BUS:-}" ]]; then
    here=$(cd "$(dirname "$0")" && pwd)
    exec env PINDLE_TEST_OWN_BUS=1 dbus-run-session \
        --config-file="$here/../tests/support/bus-without-services.conf" -- "$0" "$@"
fi

run=$(mktemp -d)
chmod 700 "$run"
as_sway=()
if ((EUID == 0)); then
    chown nobody "$run"
    as_sway=(runuser -u nobody --)
fi
sway_pid=""
cleanup() {
    [[ -n "$sway_pid" ]] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
    rm -rf "$run"
}
trap cleanup EXIT

cat >"$run/config" <<CONFIG
output HEADLESS-1 resolution 1440x900 position 0 0
xwayland enable
CONFIG
"${as_sway[@]}" env -i PATH="$PATH" HOME="$run" XDG_RUNTIME_DIR="$run" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$run/config" >"$run/sway.log" 2>&1 &
sway_pid=$!

wait_for() { # WHAT CHECK...
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        kill -0 "$sway_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "with-sway: no $what" >&2
    cat "$run/sway.log" >&2
    exit 1
}
ipc_socket() { compgen -G "$run/sway-ipc.*.sock"; }
wait_for "IPC socket" ipc_socket
export SWAYSOCK
SWAYSOCK=$(ipc_socket)
wait_for "output" swaymsg -t get_outputs

# XWayland's display is only known to the programs sway starts, and it lets in only the user it
# runs as: that user lets the caller in (which starts XWayland).
swaymsg -q exec "xhost +si:localuser:$(id -un) >/dev/null && printenv WAYLAND_DISPLAY DISPLAY >$run/displays"
displays_written() { [[ $(wc -l <"$run/displays") == 2 ]]; }
wait_for "XWayland" displays_written
{ read -r WAYLAND_DISPLAY && read -r DISPLAY; } <"$run/displays"

export WAYLAND_DISPLAY DISPLAY XDG_RUNTIME_DIR="$run" XDG_SESSION_TYPE=wayland
export XDG_CURRENT_DESKTOP=sway QT_QPA_PLATFORM=xcb
"$@"
