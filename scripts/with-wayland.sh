#!/usr/bin/env bash
# Runs a command in a Wayland session of its own, without a screen (1440x900), with XWayland.
# PINDLE_TEST_COMPOSITOR picks the compositor:
#   sway (default)  sway, on a private D-Bus session bus that starts no services: a test's fake
#                   portal answers there
#   kde             KWin with its own kglobalaccel, and xdg-desktop-portal with KDE's backend,
#                   on a private bus that starts them as a Plasma session would
#   gnome           GNOME Shell as the compositor, likewise (with an empty system bus of its own,
#                   which the shell needs), and no portal
# The command gets WAYLAND_DISPLAY, DISPLAY (XWayland's), XDG_CURRENT_DESKTOP and, under sway,
# SWAYSOCK, as a user's session would give them. Sway will not run as root, so under root it runs
# as nobody; the caller stays who it is.
set -euo pipefail

compositor=${PINDLE_TEST_COMPOSITOR:-sway}
case "$compositor" in
sway | kde | gnome) ;;
*)
    echo "with-wayland: unknown PINDLE_TEST_COMPOSITOR '$compositor' (sway, kde or gnome)" >&2
    exit 2
    ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${PINDLE_TEST_OWN_BUS:-}" ]]; then
    bus=(dbus-run-session)
    [[ "$compositor" == sway ]] &&
        bus+=(--config-file="$here/../tests/support/bus-without-services.conf")
    exec env PINDLE_TEST_OWN_BUS=1 "${bus[@]}" -- "$0" "$@"
fi

session="with-wayland: $compositor"
source "$here/session-common.sh"
chmod 711 "$scratch" # sway, run as nobody, reaches its folder inside
run="$scratch/run"
mkdir -m 700 "$run" "$scratch/home"

lines_in() { [[ -s "$1" && $(wc -l <"$1") -ge "$2" ]]; }

case "$compositor" in
sway)
    as_sway=()
    if ((EUID == 0)); then
        chown nobody "$run"
        as_sway=(runuser -u nobody --)
    fi
    cat >"$scratch/sway.config" <<CONFIG
output HEADLESS-1 resolution 1440x900 position 0 0
xwayland enable
CONFIG
    "${as_sway[@]}" env -i "$mark" PATH="$PATH" HOME="$run" XDG_RUNTIME_DIR="$run" \
        WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$scratch/sway.config" >"$scratch/sway.log" 2>&1 &
    started=$!
    ipc_socket() { compgen -G "$run/sway-ipc.*.sock"; }
    wait_until "IPC socket" ipc_socket
    export SWAYSOCK
    SWAYSOCK=$(ipc_socket)
    wait_until "output" swaymsg -t get_outputs
    # XWayland's display is only known to the programs sway starts, and it lets in only the user
    # it runs as: that user lets the caller in (which starts XWayland).
    swaymsg -q exec "xhost +si:localuser:$(id -un) >/dev/null && printenv WAYLAND_DISPLAY DISPLAY >$run/displays"
    wait_until "XWayland" lines_in "$run/displays" 2
    { read -r WAYLAND_DISPLAY && read -r DISPLAY; } <"$run/displays"
    export XDG_CURRENT_DESKTOP=sway
    ;;
kde | gnome)
    export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
    export XDG_DATA_HOME="$scratch/home/.local/share" XDG_CACHE_HOME="$scratch/home/.cache"
    export XDG_RUNTIME_DIR="$run" XDG_SESSION_TYPE=wayland
    unset DISPLAY WAYLAND_DISPLAY
    # Each desktop's own portal backend is offered, as its users have: xdg-desktop-portal would
    # otherwise take an interface from any backend installed. GNOME's does not come up in GNOME
    # 43's headless session, which has no global shortcuts anyway, and its screenshots are left
    # untested there; GNOME 48's does, with GTK's for what it lacks. The bus starts the portal
    # when it is first asked, or KWin 6 starts it: either way it must find this session's
    # settings.
    export XDG_DESKTOP_PORTAL_DIR="$scratch/portals"
    mkdir -p "$XDG_DESKTOP_PORTAL_DIR" "$XDG_CONFIG_HOME/xdg-desktop-portal"
    portals=/usr/share/xdg-desktop-portal/portals
    if [[ "$compositor" == kde ]]; then
        cp "$portals/kde.portal" "$XDG_DESKTOP_PORTAL_DIR/"
    elif (($(gnome-shell --version | grep -o '[0-9][0-9]*' | head -1) >= 48)); then
        cp "$portals/gnome.portal" "$portals/gtk.portal" "$XDG_DESKTOP_PORTAL_DIR/"
        printf '[preferred]\ndefault=gnome;gtk;\n' \
            >"$XDG_CONFIG_HOME/xdg-desktop-portal/gnome-portals.conf"
    fi
    if [[ "$compositor" == kde ]]; then
        export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=$plasma_version
        dbus-update-activation-environment "$mark" XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME \
            XDG_DATA_HOME XDG_CACHE_HOME XDG_CURRENT_DESKTOP XDG_SESSION_TYPE KDE_FULL_SESSION \
            KDE_SESSION_VERSION XDG_DESKTOP_PORTAL_DIR XDG_DATA_DIRS PATH
        # WORKAROUND: kwin_wayland carries a file capability (cap_sys_resource, for real-time
        # scheduling), which a container without that capability refuses to execute; a copy
        # has none.
        cp "$(command -v kwin_wayland)" "$scratch/kwin_wayland"
        printf '#!/bin/sh\nprintenv WAYLAND_DISPLAY DISPLAY >"%s"\nexec sleep infinity\n' \
            "$run/displays" >"$scratch/displays.sh"
        chmod +x "$scratch/displays.sh"
        env "$mark" "$scratch/kwin_wayland" --virtual --xwayland --socket wayland-pindle \
            --width 1440 --height 900 "$scratch/displays.sh" >"$scratch/kwin.log" 2>&1 &
        started=$!
        wait_until "XWayland" lines_in "$run/displays" 2
        { read -r WAYLAND_DISPLAY && read -r DISPLAY; } <"$run/displays"
    else
        export XDG_CURRENT_DESKTOP=GNOME
        start_system_bus
        dbus-update-activation-environment "$mark" XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME \
            XDG_DATA_HOME XDG_CACHE_HOME XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
            XDG_DESKTOP_PORTAL_DIR XDG_DATA_DIRS DBUS_SYSTEM_BUS_ADDRESS PATH
        shell_started() { grep -q 'GNOME Shell started at' "$scratch/gnome-shell.log"; }
        # WORKAROUND: on a loaded machine GNOME Shell 43 now and then stalls in its start-up for
        # good: a process it forks hangs on a lock the fork copied, and the shell waits on it
        # without heeding SIGTERM. It and what it started are killed, and a new start gets
        # through.
        for attempt in 1 2 3; do
            env "$mark" gnome-shell --wayland --headless --virtual-monitor 1440x900 \
                --wayland-display wayland-pindle >"$scratch/gnome-shell.log" 2>&1 &
            started=$!
            for _ in $(seq 400); do
                shell_started || ! kill -0 "$started" 2>/dev/null && break
                sleep 0.05
            done
            shell_started || ((attempt == 3)) && break
            pkill -KILL -P "$started" || true
            kill -KILL "$started" 2>/dev/null || true
            wait "$started" 2>/dev/null || true
            mv "$scratch/gnome-shell.log" "$scratch/gnome-shell.stalled-$attempt"
            rm -f "$run"/.mutter-Xwaylandauth.* # the next start's must be the only one
        done
        wait_until "GNOME Shell start-up" shell_started
        WAYLAND_DISPLAY=wayland-pindle
        DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$scratch/gnome-shell.log")
        export XAUTHORITY
        XAUTHORITY=$(compgen -G "$run/.mutter-Xwaylandauth.*")
        # It starts in the overview, which holds the keyboard: leave it, as a user would.
        gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
            --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive \
            '<false>' >/dev/null
    fi
    export WAYLAND_DISPLAY DISPLAY
    # Services the bus starts on demand (the portals, kglobalaccel, dconf) must find this
    # session.
    dbus-update-activation-environment "$mark" DISPLAY WAYLAND_DISPLAY XAUTHORITY \
        XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_CURRENT_DESKTOP \
        XDG_SESSION_TYPE KDE_FULL_SESSION KDE_SESSION_VERSION DBUS_SYSTEM_BUS_ADDRESS PATH \
        XDG_DESKTOP_PORTAL_DIR XDG_DATA_DIRS
    if [[ "$compositor" == kde ]]; then
        portal_offers_shortcuts() {
            gdbus introspect --session --dest org.freedesktop.portal.Desktop \
                --object-path /org/freedesktop/portal/desktop | grep -q portal.GlobalShortcuts
        }
        wait_until "portal with global shortcuts" portal_offers_shortcuts
    fi
    ;;
esac

export WAYLAND_DISPLAY DISPLAY XDG_RUNTIME_DIR="$run" XDG_SESSION_TYPE=wayland
if [[ "$compositor" == sway ]]; then
    # A seat without a keyboard hands no surface the keys, and sway's headless seat has one only
    # while a virtual keyboard is plugged in: one stays, as a real one would (wtype plugs in its
    # own only while it types).
    env "$mark" wtype -s 86400000 &
fi
status=0
"$@" || status=$?
exit "$status"
