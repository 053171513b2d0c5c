#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each one for
# SECONDS (default 300) on a copy of its seed corpus (tests/fuzz/corpus/<name>/),
# two at a time. Inputs that crash, leak or time out land in
# build/fuzz/artifacts/<name>/; each target's log is build/fuzz/logs/<name>.log.
# Exits non-zero when any target found something.
#
# usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(keyed_archive user_defaults audio_decoder itunes_library playlist_import)
fi
build=build/fuzz

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DQUAVER_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

# Largest input tried per target, in bytes: room for a few records or pages, small
# enough that each run stays fast.
declare -A max_len=([keyed_archive]=16384 [user_defaults]=8192 [audio_decoder]=16384
                    [itunes_library]=16384 [playlist_import]=4096)

run() {
    local name=$1 corpus="$build/corpus/$1" artifacts="$build/artifacts/$1/"
    rm -rf "$corpus" "$artifacts" && mkdir -p "$corpus" "$artifacts" "$build/logs"
    cp tests/fuzz/corpus/"$name"/* "$corpus"/
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
        UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz_$name" -max_total_time="$seconds" -max_len="${max_len[$name]:-8192}" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
        "$corpus" >"$build/logs/$name.log" 2>&1
}

status=0
pids=()
names=()
wait_one() {
    local rc=0
    wait "${pids[0]}" || rc=$?
    local runs
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/${names[0]}.log" |
           grep -o '[0-9]*$' || echo "?")
    if [ "$rc" -eq 0 ]; then
        echo "${names[0]}: clean, $runs runs"
    else
        echo "${names[0]}: FAILED (exit $rc), see $build/logs/${names[0]}.log" \
             "and $build/artifacts/${names[0]}/"
        status=1
    fi
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
}
for name in "${targets[@]}"; do
    [ ${#pids[@]} -ge 2 ] && wait_one
    run "$name" &
    pids+=($!)
    names+=("$name")
done
while [ ${#pids[@]} -gt 0 ]; do wait_one; done
exit $status
