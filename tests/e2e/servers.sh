# shellcheck shell=bash
# Sourced by scripts that run a player against private servers (the end-to-end test,
# bench/load-playback.sh). The sourcing script defines fail MESSAGE (prints and
# exits) and an array pids; each process started here is added to pids, and
# stop_started ends them, newest first (from the script's EXIT trap: all of them).

stop_pid() { # pid: TERM, then KILL when it is still there after 5 s
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
stop_started() { # [count]: ends the processes started after the first count (0)
    local keep=${1:-0} i
    for ((i = ${#pids[@]} - 1; i >= keep; i--)); do
        stop_pid "${pids[i]}"
    done
    pids=("${pids[@]:0:keep}")
}
wait_for() { # seconds, what, command...: polls the command until it succeeds
    local limit=$1 what=$2
    local end=$((SECONDS + limit))
    shift 2
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || fail "$what (waited $limit s)"
        sleep 0.1
    done
}
require_tools() { # tool...
    local tool
    for tool; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
    done
}

start_dbus() { # dir: a session bus whose socket is dir/bus.sock; its log is dir/dbus.log
    dbus-daemon --session --nofork --address="unix:path=$1/bus.sock" >"$1/dbus.log" 2>&1 &
    pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$1/bus.sock
    wait_for 20 "the D-Bus session did not start" test -S "$1/bus.sock"
}

# dir, null-sink arguments...: a sound server with one null sink, reached at
# dir/pulse.sock; its runtime files go to dir/run (XDG_RUNTIME_DIR), its log to
# dir/pulseaudio.log.
start_pulse() {
    local dir=$1
    shift
    export XDG_RUNTIME_DIR=$dir/run PULSE_RUNTIME_PATH=$dir/run/pulse
    export PULSE_SERVER=unix:$dir/pulse.sock
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    printf '%s\n' "load-module module-null-sink $*" \
        "load-module module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1" \
        >"$dir/pulse.pa"
    # Root needs --system=false; --disallow-exit keeps clients from ending the server.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false --disallow-exit \
        -F "$dir/pulse.pa" >"$dir/pulseaudio.log" 2>&1 &
    pids+=($!)
    wait_for 20 "PulseAudio did not start" test -S "$dir/pulse.sock"
}
