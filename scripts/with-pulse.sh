#!/usr/bin/env bash
# Runs a command beside a private PulseAudio daemon with two null sinks and no hardware: "speaker"
# (the default sink: what the computer plays) and "micfeed", whose monitor is remapped to "virtmic"
# (the default source: what is played into micfeed is heard by the microphone). Both sinks are kept
# busy with silence, because an idle null sink delivers nothing for a while after a recording
# connects. PULSE_SERVER points at the daemon. Everything is stopped on exit, even when the command
# crashes or this script is killed.
# PINDLE_TEST_SOUND_SERVER=pipewire runs PipeWire with its PulseAudio server instead, as most
# desktops now do, with the same devices.
set -euo pipefail

server=${PINDLE_TEST_SOUND_SERVER:-pulseaudio}
tools=(pactl pacat)
case "$server" in
pulseaudio) tools+=(pulseaudio) ;;
pipewire) tools+=(pipewire pipewire-pulse wireplumber) ;;
*)
    echo "with-pulse: unknown PINDLE_TEST_SOUND_SERVER '$server' (pulseaudio or pipewire)" >&2
    exit 2
    ;;
esac
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "with-pulse: $tool is not installed (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done
# WirePlumber, which keeps PipeWire's default devices, needs a session bus.
if [[ "$server" == pipewire && -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
    exec dbus-run-session -- "$0" "$@"
fi

scratch=$(mktemp -d /tmp/pindle-pulse.XXXXXX)
mkdir -m 700 -p "$scratch/home" "$scratch/run"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/home/.config"
export PULSE_SERVER="unix:$scratch/native"

devices="load-module module-null-sink sink_name=speaker
load-module module-null-sink sink_name=micfeed
load-module module-remap-source master=micfeed.monitor source_name=virtmic
set-default-sink speaker
set-default-source virtmic"

# Every process started here, newest last; also in a file for the watchdog below.
helpers=()
track() {
    helpers+=("$1")
    echo "$1" >>"$scratch/pids"
}
cleanup() {
    # Newest first: the command and the players go before the daemon they use.
    for ((i = ${#helpers[@]} - 1; i >= 0; i--)); do
        kill "${helpers[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# If this script is killed outright (SIGKILL from a test timeout), the traps do not run: a watchdog
# stops what was started and removes the scratch folder once the script is gone.
script_pid=$$
(
    while kill -0 "$script_pid" 2>/dev/null; do sleep 1; done
    tac "$scratch/pids" 2>/dev/null | xargs -r kill 2>/dev/null
    rm -rf "$scratch"
) >/dev/null 2>&1 &
helpers+=("$!")

if [[ "$server" == pulseaudio ]]; then
    printf 'load-module module-native-protocol-unix socket=%s auth-anonymous=1\n%s\n' \
        "$scratch/native" "$devices" >"$scratch/ci.pa"
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no -F "$scratch/ci.pa" \
        --log-target="file:$scratch/pulse.log" &
    daemon=$!
    track "$daemon"
else
    # Its PulseAudio server listens in the runtime folder: a link puts it where PULSE_SERVER says.
    ln -s "$scratch/run/pulse/native" "$scratch/native"
    pipewire >>"$scratch/pulse.log" 2>&1 &
    daemon=$!
    track "$daemon"
    # WirePlumber and the PulseAudio server give up for good if PipeWire's socket is not there yet
    # (a busy machine shows it): they start once it is.
    for ((i = 0; i < 400; i++)); do
        [[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]] && break
        if ! kill -0 "$daemon" 2>/dev/null; then
            echo "with-pulse: pipewire did not start:" >&2
            cat "$scratch/pulse.log" >&2
            exit 1
        fi
        sleep 0.05
    done
    for program in wireplumber pipewire-pulse; do
        "$program" >>"$scratch/pulse.log" 2>&1 &
        track "$!"
    done
fi

for ((i = 0; i < 200; i++)); do
    pactl info >/dev/null 2>&1 && break
    if ! kill -0 "$daemon" 2>/dev/null; then
        echo "with-pulse: $server did not start:" >&2
        cat "$scratch/pulse.log" >&2
        exit 1
    fi
    sleep 0.05
done
if ! pactl info >/dev/null 2>&1; then
    echo "with-pulse: $server does not answer" >&2
    exit 1
fi
if [[ "$server" == pipewire ]]; then
    # The defaults are kept by WirePlumber, which answers "Not supported" until it is ready.
    while read -r -a command; do
        for ((i = 0; i < 100; i++)); do
            pactl "${command[@]}" >/dev/null 2>&1 && continue 2
            sleep 0.05
        done
        echo "with-pulse: pipewire refused: pactl ${command[*]}" >&2
        cat "$scratch/pulse.log" >&2
        exit 1
    done <<<"$devices"
fi

for sink in speaker micfeed; do
    pacat --playback -d "$sink" --latency-msec=20 /dev/zero &
    track "$!"
done

"$@" &
command_pid=$!
track "$command_pid"
status=0
wait "$command_pid" || status=$?
exit "$status"
