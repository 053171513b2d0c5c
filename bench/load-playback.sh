#!/usr/bin/env bash
# Plays a sine while one compile loop per core keeps the machine busy, as on a
# developer's desktop, and measures what a listener and a battery notice: dropouts
# in the sound, the player's wake-ups and CPU time, and how long MPRIS commands take
# to be heard. The same sine then plays through mpv and Audacious, where installed,
# under the same load, for comparison (figures prefixed mpv_ and audacious_).
#
#   bench/load-playback.sh [-k DIR] [PROGRAM [SECONDS]]
#
# PROGRAM defaults to build/release/quaver-pro. SECONDS (5 to 25, default 18) is the
# window after the first sound in which dropouts are looked for and wake-ups counted;
# cpu_s is the CPU time from launch to 2 s after that window. -k DIR keeps the
# recordings, the logs and the list of dropouts in DIR.
#
# The players run on private servers started here: a D-Bus session, a PulseAudio
# daemon whose null sink is recorded from its monitor, and Qt's offscreen platform
# (the window counts as shown). Times are measured in the recording: the sample at
# which a command's effect is heard, against the wall clock at which it was sent.
set -euo pipefail
export LC_ALL=C.UTF-8 # EPOCHREALTIME with a decimal point

repo=$(cd "$(dirname "$0")/.." && pwd)
keep=""
while getopts k: opt; do
    case $opt in
    k) keep=$OPTARG ;;
    *) echo "usage: $0 [-k DIR] [PROGRAM [SECONDS]]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
program=${1:-$repo/build/release/quaver-pro}
seconds=${2:-18}

pids=()
loads=()
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quaver-load.XXXXXX")
fail() {
    echo "load-playback: $*" >&2
    exit 1
}
source "$repo/tests/e2e/servers.sh"
cleanup() {
    local group
    for group in "${loads[@]}"; do
        kill -TERM -- "-$group" 2>/dev/null || true
    done
    for group in "${loads[@]}"; do
        wait "$group" 2>/dev/null || true
    done
    stop_started
    if [ -n "$keep" ]; then
        mkdir -p "$keep" && cp "$tmp"/*.raw "$tmp"/*.log "$tmp"/*.txt "$tmp"/*.json "$keep"/ 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'echo "load-playback: stopped" >&2; exit 130' INT TERM

require_tools pulseaudio parec ffmpeg dbus-daemon dbus-send playerctl python3 g++
[ -x "$program" ] || fail "no program at $program: build it, or name it as the first argument"
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 5 ] || [ "$seconds" -gt 25 ]; then
    fail "SECONDS must be a whole number from 5 to 25 (the first 30 s of the file are the plain tone)"
fi
program=$(realpath "$program")
# The interpreter itself: a version manager's wrapper can take a second to start.
python=$(python3 -c 'import sys; print(sys.executable)')
analyse() { "$python" "$repo/bench/load_playback_analyse.py" "$@"; }

# 440 Hz for 30 s, then 880 Hz for 10 s, for the seek to be heard; a second item at
# 660 Hz for Next.
mp3() { # file, title, ffmpeg inputs and filters...
    local file=$1 title=$2
    shift 2
    ffmpeg -nostdin -loglevel error -y "$@" -metadata title="$title" -b:a 192k "$file" ||
        fail "ffmpeg could not make $file"
}
mp3 "$tmp/tone.mp3" "Load tone" -f lavfi -i sine=frequency=440:duration=30 \
    -f lavfi -i sine=frequency=880:duration=10 -filter_complex concat=n=2:v=0:a=1
mp3 "$tmp/next.mp3" "Load next" -f lavfi -i sine=frequency=660:duration=40

start_dbus "$tmp"
start_pulse "$tmp" sink_name=bench rate=48000 channels=2

# The load: each loop in its own session, so that Ctrl+C does not reach it and the
# clean-up ends the compiler with the loop.
cat >"$tmp/load.cpp" <<'EOF'
#include <iostream>
#include <map>
#include <regex>
int main(int argc, char **argv)
{
    std::map<std::string, int> seen;
    const std::regex word("[a-z]+");
    for (int i = 1; i < argc; ++i)
        if (std::regex_match(argv[i], word))
            ++seen[argv[i]];
    for (const auto& [name, count] : seen)
        std::cout << name << ' ' << count << '\n';
}
EOF
for ((i = 0; i < $(nproc); i++)); do
    setsid bash -c 'while g++ -O2 -o "$1" "$2"; do :; done' load "$tmp/load$i" "$tmp/load.cpp" \
        >"$tmp/load$i.log" 2>&1 &
    loads+=($!)
done

now_us() { echo "${EPOCHREALTIME/./}"; }
sleep_until() { # wall clock, µs
    local wait=$(($1 - $(now_us)))
    if [ "$wait" -gt 0 ]; then
        sleep "$((wait / 1000000)).$(printf '%06d' $((wait % 1000000)))"
    fi
}
loads_running() {
    local group
    for group in "${loads[@]}"; do
        kill -0 "$group" 2>/dev/null || return 1
    done
}
snapshot() { # pid, file
    kill -0 "$1" 2>/dev/null || fail "the player ended while it was measured (see its log)"
    analyse snapshot "$1" >"$2" || fail "could not read /proc/$1"
}

# prefix, log name, command...: starts the recorder and then the player (in
# $tmp/home-PREFIX), and waits for the first sound; returns 1 when none came. Sets
# $player and $recorder, the recording $raw, its wall-clock marks $marks (for its
# calibration), the launch time $launch and the first sound's frame $onset.
start_playing() {
    local prefix=$1 log=$2
    shift 2
    raw=$tmp/${prefix}recording.raw
    marks=$tmp/${prefix}marks.txt
    : >"$marks"
    parec --latency-msec=10 -d bench.monitor --format=s16le --rate=48000 --channels=2 --raw \
        >"$raw" 2>"$tmp/${prefix}parec.log" &
    recorder=$!
    pids+=("$recorder")
    wait_for 10 "parec recorded nothing from the null sink" test -s "$raw"
    loads_running || fail "the compile loop stopped: $(cat "$tmp"/load*.log)"
    analyse calibrate "$raw" "$marks" 1

    local home=$tmp/home-$prefix
    mkdir -p "$home"
    launch=$(now_us)
    (cd "$tmp" && unset SDL_AUDIODRIVER && HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
        XDG_DATA_HOME=$home/.local/share QT_QPA_PLATFORM=offscreen \
        exec "$@") >"$tmp/$log" 2>&1 &
    player=$!
    pids+=("$player")
    if ! onset=$(analyse watch "$raw" "$marks" 0 sound 60); then
        echo "load-playback: $(basename "$1") made no sound within 60 s: $(tail -n 3 "$tmp/$log")" >&2
        return 1
    fi
}
# prefix: takes the snapshots of the player started last over the window, and leaves
# it running. Sets $t_onset, the first sound on the wall clock (µs).
measure() {
    local prefix=$1
    t_onset=$(analyse at "$marks" "$onset")
    snapshot "$player" "$tmp/${prefix}start.json"
    sleep_until $((t_onset + seconds * 1000000))
    snapshot "$player" "$tmp/${prefix}end.json"
    sleep_until $((t_onset + (seconds + 2) * 1000000))
    snapshot "$player" "$tmp/${prefix}cpu.json"
}
# prefix: prints what measure took, once the player is stopped (the analysis would
# otherwise compete with it).
report() {
    local prefix=$1
    echo "${prefix}start_ms: $(((t_onset - launch) / 1000)) ms"
    # From 50 ms after the first sound: a player may fade in.
    analyse dropouts "$raw" $((onset + 2400)) $(((seconds * 1000 - 50) * 48)) 440 \
        "$prefix" 2>"$tmp/${prefix}dropouts.txt"
    analyse wakeups "$tmp/${prefix}start.json" "$tmp/${prefix}end.json" "$prefix" wakeups
    analyse cpu "$launch" "$tmp/${prefix}cpu.json" "$prefix"
}

# ---- The program: playback, paused, responses. ----
bus=org.mpris.MediaPlayer2.quaverpro
mpris() { # method, arguments...
    timeout 10 dbus-send --session --print-reply --dest=$bus /org/mpris/MediaPlayer2 \
        "org.mpris.MediaPlayer2.Player.$1" "${@:2}" >/dev/null
}
volume() { # 0 .. 1
    timeout 10 dbus-send --session --print-reply --dest=$bus /org/mpris/MediaPlayer2 \
        org.freedesktop.DBus.Properties.Set string:org.mpris.MediaPlayer2.Player \
        string:Volume "variant:double:$1" >/dev/null
}
# name, what its effect sounds like (see watch in the analyser), command...
respond() {
    local name=$1 effect=$2 from
    shift 2
    from=$(stat -c %s "$raw")
    echo "cmd $name $EPOCHREALTIME $effect" >>"$marks"
    "$@" || fail "the MPRIS call for $name failed"
    analyse watch "$raw" "$marks" "$from" "$effect" 10 >/dev/null ||
        fail "no $effect was heard after $name"
}

servers=${#pids[@]} # the D-Bus session and the sound server
start_playing "" player.log "$program" tone.mp3 next.mp3 || fail "the program made no sound"
measure ""
wait_for 20 "the program did not appear on the bus as $bus" \
    timeout 10 playerctl -p quaverpro status >/dev/null 2>&1
respond pause silence mpris Pause
sleep 2
snapshot "$player" "$tmp/paused-start.json"
sleep 5
snapshot "$player" "$tmp/paused-end.json"
volume 1.0 || fail "the MPRIS Volume could not be set"
# PlayPause, as the program ignores a bare Play (see RemoteControlTarget.h).
respond resume sound mpris PlayPause
track=$(timeout 10 playerctl -p quaverpro metadata mpris:trackid) ||
    fail "the program did not tell its track id"
track=${track//\'/} # playerctl quotes an object path
position=$(timeout 10 playerctl -p quaverpro position) || fail "the program did not tell its position"
[ "${position%.*}" -lt 29 ] || fail "the tone played on to ${position%.*} s before the seek; it must still be 440 Hz"
respond seek tone:880 mpris SetPosition "objpath:$track" int64:32000000
respond volume quieter volume 0.3
respond next tone:660 mpris Next
analyse calibrate "$raw" "$marks" 1
stop_started "$servers"
report ""
analyse wakeups "$tmp/paused-start.json" "$tmp/paused-end.json" "" wakeups_paused
analyse responses "$raw" "$marks"

# ---- The same tone through other players. ----
other() { # name, command...
    if ! command -v "$1" >/dev/null; then
        echo "load-playback: $1 is not installed; no ${1}_ figures" >&2
        return
    fi
    if start_playing "${1}_" "$1.log" "$@"; then
        measure "${1}_"
        analyse calibrate "$raw" "$marks" 1
        stop_started "$servers"
        report "${1}_"
    fi
    stop_started "$servers"
}
other mpv --no-config --no-terminal --no-video --ao=pulse tone.mp3
other audacious -H -p tone.mp3
