#!/usr/bin/env bash
# Runs a command on a private virtual X display (1440x900), so tests of windows, focus and screen
# capture never touch the user's own session. PINDLE_TEST_DESKTOP picks what manages the display:
#   bare (default)  openbox without its key bindings (they would take Alt+Space before the
#                   application can), and trayer as the tray
#   openbox         openbox as installed, and trayer
#   xfce            xfwm4, xfsettingsd (which grabs Xfce's own shortcuts) and xfce4-panel with its
#                   tray, which takes StatusNotifierItems
#   kde             KWin with kglobalaccel (Plasma 5 or 6), and trayer standing in for
#                   plasmashell's tray
#   gnome           GNOME Shell, which has no tray
# The real desktops run with their default settings, from configuration folders of their own, on
# the caller's D-Bus session if it has a home folder of its own (scripts/with-keyring.sh's does)
# and on a private one otherwise.
# On every desktop `exo-open` and `orca` are stand-ins that append their name and arguments to the
# file named by PINDLE_DESKTOP_ACTIONS, so a test can see a desktop's own shortcut fire.
set -euo pipefail

desktop=${PINDLE_TEST_DESKTOP:-bare}
case "$desktop" in
bare | openbox | xfce | kde | gnome) ;;
*)
    echo "with-x11: unknown PINDLE_TEST_DESKTOP '$desktop' (bare, openbox, xfce, kde or gnome)" >&2
    exit 2
    ;;
esac
users_home=$(getent passwd "$(id -u)" | cut -d: -f6) || users_home=""
# The desktops' services learn this display and these folders from the session bus, so a caller's
# bus is used only when it comes with a home folder of its own (scripts/with-keyring.sh's does),
# never the user's desktop session.
if [[ "$desktop" != bare && -z "${PINDLE_TEST_OWN_BUS:-}" ]] &&
    [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" || "$HOME" == "$users_home" ]]; then
    exec env PINDLE_TEST_OWN_BUS=1 dbus-run-session -- "$0" "$@"
fi
export PINDLE_TEST_DESKTOP="$desktop"

session="with-x11: $desktop"
source "$(dirname "$0")/session-common.sh"

start() { # NAME COMMAND...: runs COMMAND in the background, its output into NAME.log
    local name=$1
    shift
    env "$mark" "$@" >"$scratch/$name.log" 2>&1 &
    started=$!
}

not() { ! "$@"; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
gnome_overview_active() {
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q true
}
# KWin hands its shortcuts to kglobalaccel in steps as its effects load, so wait until the list
# has been still for a second.
kwin_shortcut_names() {
    gdbus call --session --dest org.kde.kglobalaccel --object-path /component/kwin \
        --method org.kde.kglobalaccel.Component.shortcutNames
}
kwin_listed="" kwin_listed_at=0
kwin_shortcuts_settled() {
    local names
    names=$(kwin_shortcut_names) || return 1
    if [[ "$names" != "$kwin_listed" ]]; then
        kwin_listed=$names kwin_listed_at=${EPOCHREALTIME/./}
        return 1
    fi
    ((${EPOCHREALTIME/./} - kwin_listed_at > 1000000))
}

# -noreset: by default the server starts over when its last client leaves, and drops every client
# that connected meanwhile before answering its setup. The readiness probe below is such a last
# client, so a window manager started right after it failed now and then with "cannot open
# display". Keeping the server as it is also keeps what earlier clients set on the root window.
env "$mark" Xvfb -displayfd 3 -screen 0 1440x900x24 -nolisten tcp -noreset 3>"$scratch/display" \
    2>"$scratch/xvfb.log" &
for _ in $(seq 100); do [[ -s "$scratch/display" ]] && break; sleep 0.05; done
[[ -s "$scratch/display" ]] || { echo "with-x11: Xvfb did not start" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
# Wait until a client gets through before starting anything on it.
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.05; done

mkdir -m 700 "$scratch/run" "$scratch/bin"
export XDG_RUNTIME_DIR="$scratch/run" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

export PINDLE_DESKTOP_ACTIONS="$scratch/desktop-actions.txt"
: >"$PINDLE_DESKTOP_ACTIONS"
for tool in exo-open orca; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$PINDLE_DESKTOP_ACTIONS" >"$scratch/bin/$tool"
    chmod +x "$scratch/bin/$tool"
done
export PATH="$scratch/bin:$PATH"

if [[ "$desktop" != bare ]]; then
    if [[ "$HOME" == "$users_home" ]]; then
        mkdir "$scratch/home"
        export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data"
    fi
    # XDG_DATA_HOME stays where with-keyring.sh put it: the keyring lives there.
    export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
    export XDG_DATA_HOME="${XDG_DATA_HOME:-$scratch/data}" XDG_SESSION_TYPE=x11
    unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION KDE_SESSION_VERSION
    case "$desktop" in
    xfce) export XDG_CURRENT_DESKTOP=XFCE ;;
    kde) export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=$plasma_version ;;
    gnome)
        start_system_bus
        export XDG_CURRENT_DESKTOP=GNOME
        ;;
    esac
    # Services the bus starts on demand (kglobalaccel5, xfconfd, dconf-service) must find this
    # display and these folders.
    dbus-update-activation-environment "$mark" DISPLAY XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME \
        XDG_CACHE_HOME XDG_DATA_HOME XDG_CURRENT_DESKTOP XDG_SESSION_TYPE PATH \
        DBUS_SYSTEM_BUS_ADDRESS QT_QPA_PLATFORM KDE_FULL_SESSION KDE_SESSION_VERSION XDG_DATA_DIRS
fi

case "$desktop" in
bare | openbox)
    rc=/etc/xdg/openbox/rc.xml
    if [[ "$desktop" == bare ]]; then
        rc="$scratch/rc.xml"
        sed '/<keyboard>/,/<\/keyboard>/c\<keyboard></keyboard>' /etc/xdg/openbox/rc.xml >"$rc"
    fi
    # openbox names itself on the root window before it grabs its keys; --startup runs after.
    start openbox openbox --config-file "$rc" --startup "touch '$scratch/openbox.ready'"
    wait_until "window manager" test -e "$scratch/openbox.ready"
    ;;
xfce)
    start xfwm4 xfwm4 --replace
    wait_until "window manager" wm_running
    # Its D-Bus name comes before its shortcuts are grabbed; only its debug log tells when they are.
    start xfsettingsd env XFSETTINGSD_DEBUG=keyboard-shortcuts xfsettingsd
    wait_until "Xfce keyboard shortcuts" grep -q 'shortcuts loaded' "$scratch/xfsettingsd.log"
    ;;
kde)
    if [[ -n "$kglobalacceld" ]]; then
        start kglobalacceld "$kglobalacceld"
        wait_until "kglobalaccel" has_bus_name org.kde.kglobalaccel
    fi
    start kwin kwin_x11 --replace
    wait_until "window manager" wm_running
    wait_until "KWin shortcuts in kglobalaccel" kwin_shortcuts_settled
    # kglobalaccel takes the first key event after it starts for a keymap change and regrabs every
    # key meanwhile, so that event is lost whatever it is: spend it here. Its answer on D-Bus comes
    # after it has handled the event.
    xdotool key shift
    kwin_shortcut_names >/dev/null
    ;;
gnome)
    start gnome-shell gnome-shell --x11 --replace
    wait_until "window manager" wm_running
    # Until this line the shell ignores key bindings; its D-Bus name comes much earlier.
    wait_until "GNOME Shell start-up" grep -q 'GNOME Shell started at' "$scratch/gnome-shell.log"
    # It starts in the overview, which holds the keyboard: leave it, as a user would.
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null
    wait_until "GNOME Shell leaving its overview" not gnome_overview_active
    ;;
esac

sni_host_registered() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
}

start_trayer() {
    # A tray host along the top edge, as a desktop panel would be: an XEmbed one.
    start trayer trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false
}

start_xfce_panel() {
    # Xfce's own panel along the top edge with only its tray at the right end: it takes
    # StatusNotifierItems (and XEmbed icons), and draws their menus itself.
    local panel="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$panel"
    cat >"$panel/xfce4-panel.xml" <<'PANEL'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="24"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
PANEL
    start xfce4-panel xfce4-panel
    wait_until "Xfce's tray" sni_host_registered
}

case "$desktop" in
gnome) ;;
xfce) start_xfce_panel ;;
kde)
    # Plasma 6's Qt theme gives Qt's tray StatusNotifierItems only, so there the stand-in for
    # plasmashell's tray must take them: Xfce's panel does, without a whole Plasma shell.
    if ((plasma_version >= 6)); then start_xfce_panel; else start_trayer; fi
    ;;
*) start_trayer ;;
esac

# WORKAROUND: libxkbcommon-x11 copies keymap names with strndup() from buffers that are not
# NUL-terminated, which is legal but trips ASan's strict string checks at random.
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi

status=0
"$@" || status=$?
exit "$status"
