#!/usr/bin/env bash
# Runs a command on a private virtual X display (1440x900) managed by openbox, so tests of windows,
# focus and screen capture never touch the user's own session. openbox's key bindings are left
# out: they would take Alt+Space before the application can.
set -euo pipefail

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1440x900x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$scratch/display" ]] && break; sleep 0.05; done
[[ -s "$scratch/display" ]] || { echo "with-x11: Xvfb did not start" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"

sed '/<keyboard>/,/<\/keyboard>/c\<keyboard></keyboard>' /etc/xdg/openbox/rc.xml >"$scratch/rc.xml"
openbox --config-file "$scratch/rc.xml" >"$scratch/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

# A tray host along the top edge, as a desktop panel would be.
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    --transparent false >"$scratch/trayer.log" 2>&1 &
pids+=($!)

mkdir -m 700 "$scratch/run"
export XDG_RUNTIME_DIR="$scratch/run" QT_QPA_PLATFORM=xcb
# WORKAROUND: libxkbcommon-x11 copies keymap names with strndup() from buffers that are not
# NUL-terminated, which is legal but trips ASan's strict string checks at random.
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi
unset WAYLAND_DISPLAY

status=0
"$@" || status=$?
exit "$status"
