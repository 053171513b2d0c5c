#!/usr/bin/env bash
# Runs the installed player as a user would, on its own X server (Xvfb), D-Bus
# session and PulseAudio server (null sink "e2e"), all started and ended here, and
# drives it through MPRIS with playerctl.
#
#   run-e2e.sh BUILD_DIR SANITIZED
#
# SANITIZED is 1 in a sanitizer build, where the run is skipped (exit 77): timing
# there says nothing about the program. Screenshots of every step and the logs of
# the servers and the player are kept in BUILD_DIR/e2e-artefacts/.
set -euo pipefail

# Every wait below is bounded; this bounds the whole run below ctest's timeout, which
# would kill the script without its clean-up. timeout signals the process group,
# and the trap below ends the servers.
if [ -z "${QUAVER_E2E_BOUNDED:-}" ]; then
    QUAVER_E2E_BOUNDED=1 exec timeout -k 10 200 bash "$0" "$@"
fi

build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ "${2:-0}" = 1 ]; then
    echo "SKIP: the end-to-end run needs the release build"
    exit 77
fi

artefacts=$build/e2e-artefacts
rm -rf "$artefacts"
mkdir -p "$artefacts"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quaver-e2e.XXXXXX")
pids=()
step=0
player=""

mpris() { timeout 10 playerctl -p quaverpro "$@"; }
source "$here/servers.sh"
cleanup() {
    stop_started
    cp "$tmp"/*.log "$artefacts"/ 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'echo "FAIL: stopped by a signal (the run is bounded to 200 s)" >&2; exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    if [ -n "$player" ] && kill -0 "$player" 2>/dev/null; then
        echo "player status: $(mpris status 2>&1 || true)" >&2
        echo "player metadata:" >&2
        mpris metadata >&2 2>&1 || true
    fi
    echo "artefacts and logs: $artefacts" >&2
    exit 1
}
require_tools Xvfb dbus-daemon pulseaudio parec playerctl ffmpeg python3

# ---- A private installation, home and set of servers. ----
cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
    fail "cmake --install failed: $(tail -n 5 "$tmp/install.log")"
program=$tmp/prefix/bin/quaver-pro
[ -x "$program" ] || fail "the installation holds no bin/quaver-pro"

export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_CACHE_HOME=$tmp/home/.cache \
    XDG_DATA_HOME=$tmp/home/.local/share XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$HOME"

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
wait_for 20 "Xvfb did not start" test -s "$tmp/display"
export DISPLAY=:$(head -n 1 "$tmp/display")

start_dbus "$tmp"
start_pulse "$tmp" sink_name=e2e

tone() { # file, frequency (Hz), seconds, title, ffmpeg output options...
    local file=$1 freq=$2 seconds=$3 title=$4
    shift 4
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=$freq:duration=$seconds" \
        -metadata title="$title" "$@" "$file" || fail "ffmpeg could not make $file"
}
mkdir -p "$tmp/music"
tone "$tmp/music/one.m4a" 440 4 "E2E One" -c:a aac -ar 48000
tone "$tmp/music/two.mp3" 660 4 "E2E Two" -c:a libmp3lame -ar 44100
tone "$tmp/music/three.wav" 880 4 "E2E Three" -ar 48000

screenshot() { # name
    step=$((step + 1))
    local file
    file=$artefacts/$(printf '%02d' "$step")-$1.png
    ffmpeg -nostdin -loglevel error -y -f x11grab -video_size 800x600 -i "$DISPLAY" \
        -frames:v 1 "$file" || fail "no screenshot of step $1"
}
start_player() { # log name, files...
    local log=$1
    shift
    env -u SDL_AUDIODRIVER QT_QPA_PLATFORM=xcb "$program" "$@" >"$tmp/$log" 2>&1 &
    player=$!
    pids+=("$player")
    wait_for 20 "the player did not appear on the bus as quaverpro" \
        mpris status >/dev/null 2>&1
}
stop_player() { # ends the player with SIGTERM; it must exit 0
    kill -TERM "$player"
    local end=$((SECONDS + 20)) status=0
    while kill -0 "$player" 2>/dev/null && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
    kill -0 "$player" 2>/dev/null && fail "the player was still running 20 s after SIGTERM"
    wait "$player" || status=$?
    [ "$status" -eq 0 ] || fail "the player exited with status $status after SIGTERM"
    player=""
}
status_is() { [ "$(mpris status 2>/dev/null)" = "$1" ]; }
title_is() { [ "$(mpris metadata xesam:title 2>/dev/null)" = "$1" ]; }
position_past() { # seconds
    local now
    now=$(mpris position 2>/dev/null) || return 1
    python3 -c "import sys; sys.exit(float('$now') <= $1)"
}
playing() { # title
    wait_for 20 "expected \"$1\" to be playing" title_is "$1"
    wait_for 20 "expected status Playing on \"$1\"" status_is Playing
}
command_to() { # MPRIS command, title after it
    mpris "$1" || fail "playerctl $1 failed"
    wait_for 20 "after $1, expected the title \"$2\"" title_is "$2"
}

# ---- Three files: transport through MPRIS, sound, and the list kept on exit. ----
start_player player.log "$tmp/music/one.m4a" "$tmp/music/two.mp3" "$tmp/music/three.wav"
playing "E2E One"
screenshot playing-first
mpris pause || fail "playerctl pause failed"
wait_for 20 "after pause, expected status Paused" status_is Paused
screenshot paused
mpris play-pause || fail "playerctl play-pause failed"
playing "E2E One"
screenshot resumed
command_to next "E2E Two"
screenshot next
command_to previous "E2E One"
playing "E2E One"
wait_for 20 "the position did not advance after previous" position_past 0.2
screenshot previous
timeout 2 parec --latency-msec=50 -d e2e.monitor --format=s16le --rate=48000 --channels=2 \
    --raw >"$tmp/level.raw" || [ $? -eq 124 ] || fail "parec could not record the null sink"
python3 "$here/analyse.py" level "$tmp/level.raw" || fail "no sound reached the null sink"
# A second launch hands its file (relative to its own folder) to the running player.
tone "$tmp/music/four.wav" 990 4 "E2E Four" -ar 48000
(cd "$tmp/music" && QT_QPA_PLATFORM=xcb timeout 20 "$program" four.wav >"$tmp/second.log" 2>&1) ||
    fail "the second launch did not hand over and exit 0: $(tail -n 3 "$tmp/second.log")"
playing "E2E Four"
screenshot handed-over
stop_player
python3 "$here/analyse.py" list "$XDG_CONFIG_HOME/quaver-pro/defaults.plist" \
    "$tmp/music/one.m4a" "$tmp/music/two.mp3" "$tmp/music/three.wav" "$tmp/music/four.wav" ||
    fail "the current list was not on disk after SIGTERM"

# ---- Four formats back to back: no silence over 50 ms where one meets the next, ----
# ---- while two compiles run in a loop beside the player, as on a busy desktop. ----
rm -rf "$XDG_CONFIG_HOME/quaver-pro"
compile_loop() { # name
    printf '#include <iostream>\n#include <map>\n#include <regex>\n%s\n' \
        'int main() { std::map<int, std::regex> m; std::cout << m.size(); }' >"$tmp/$1.cpp"
    while :; do g++ -O2 -o "$tmp/$1" "$tmp/$1.cpp" 2>/dev/null; done
}
loads=()
for n in 1 2; do
    compile_loop "load$n" &
    loads+=($!)
    pids+=($!)
done
gap_tone=1.5
tone "$tmp/music/g1.mp3" 440 "$gap_tone" "Gap 1" -c:a libmp3lame -ar 44100
tone "$tmp/music/g2.m4a" 550 "$gap_tone" "Gap 2" -c:a aac -ar 48000
tone "$tmp/music/g3.wav" 660 "$gap_tone" "Gap 3" -ar 22050 -ac 1
tone "$tmp/music/g4.aiff" 880 3 "Gap 4" -ar 32000 # long enough to catch it playing
parec --latency-msec=20 -d e2e.monitor --format=s16le --rate=48000 --channels=2 --raw \
    >"$tmp/gapless.raw" 2>"$tmp/parec.log" &
recorder=$!
pids+=("$recorder")
start_player gapless.log "$tmp/music/g1.mp3" "$tmp/music/g2.m4a" "$tmp/music/g3.wav" \
    "$tmp/music/g4.aiff"
screenshot gapless-started
wait_for 30 "the fourth tone was never reached" title_is "Gap 4"
# The recording stops in the fourth tone: the three joins are checked.
wait_for 20 "the fourth tone did not play on" position_past 1.4
screenshot gapless-fourth
stop_pid "$recorder"
stop_player
for load in "${loads[@]}"; do stop_pid "$load"; done
# Three tones and 1.2 s of the fourth: the position runs up to 0.2 s ahead of the
# sound (what the sound server holds); a tone skipped or cut short leaves less.
python3 "$here/analyse.py" gaps "$tmp/gapless.raw" 5.5 || fail "the tones were not joined"
echo "PASS: end-to-end run; screenshots in $artefacts"
