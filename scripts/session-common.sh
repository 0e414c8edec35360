# Sourced by with-x11.sh and with-wayland.sh: a scratch folder for a desktop session of a test's
# own, whose processes are all ended on exit, a wait for it to be ready, and an empty system bus
# for GNOME Shell. `session` names the session in messages.

scratch=$(mktemp -d)
# Desktops spawn helpers of their own and have the session bus start services for them, so
# processes are not tracked by id: everything started here, and every service the bus starts from
# now on, carries this variable, and cleanup ends whatever still has it.
mark="PINDLE_TEST_SESSION=$scratch"
marked() { grep -lsxzF -- "$mark" /proc/[0-9]*/environ | cut -d/ -f3 || true; }
cleanup() {
    local left=()
    for _ in $(seq 50); do
        mapfile -t left < <(marked)
        ((${#left[@]})) || break
        kill "${left[@]}" 2>/dev/null || true
        sleep 0.1
    done
    ((${#left[@]} == 0)) || kill -KILL "${left[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# Polls CHECK until it passes; a session that is not ready in time, or whose program last
# started (its process id in `started`) exits meanwhile, fails the run with its logs.
started=""
wait_until() { # WHAT CHECK...
    local what=$1 problem=""
    shift
    local deadline=$((${EPOCHREALTIME/./} + 60000000))
    until "$@" >/dev/null 2>&1; do
        if [[ -n "$started" ]] && ! kill -0 "$started" 2>/dev/null; then
            problem="it exited"
        elif ((${EPOCHREALTIME/./} > deadline)); then
            problem="not after 60 s"
        fi
        if [[ -n "$problem" ]]; then
            echo "$session: no $what: $problem" >&2
            tail -n 40 "$scratch"/*.log >&2
            exit 1
        fi
        sleep 0.05
    done
}

# Starts an empty system bus at $scratch/system-bus and points DBUS_SYSTEM_BUS_ADDRESS at it:
# GNOME Shell will not run without one.
start_system_bus() {
    cat >"$scratch/system-bus.conf" <<EOF
<busconfig>
  <type>system</type>
  <listen>unix:path=$scratch/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
    env "$mark" dbus-daemon --config-file="$scratch/system-bus.conf" --nofork \
        >"$scratch/system-bus.log" 2>&1 &
    for _ in $(seq 200); do [[ -S "$scratch/system-bus" ]] && break; sleep 0.05; done
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/system-bus"
}

# Plasma 6 runs kglobalaccel as a daemon of its own that the bus does not start on demand:
# kglobalacceld is its path where it is installed, and plasma_version says which Plasma this is.
kglobalacceld=$(compgen -G "/usr/lib/*/libexec/kglobalacceld" | head -n1 || true)
plasma_version=5
[[ -z "$kglobalacceld" ]] || plasma_version=6
has_bus_name() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}
