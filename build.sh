#!/usr/bin/env bash
# One entry point for people and CI.
#   ./build.sh run [ARGS...]   install what is missing, build, start the program
#   ./build.sh test            install what is missing, build and run every test,
#                              then again with AddressSanitizer + UBSan
#   ./build.sh build           build only (build/release)
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc)
configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_tests() { # dir
    # Each test has its own timeout (tests/CMakeLists.txt); this bounds the whole run.
    ctest --test-dir "$1" -j "$jobs" --output-on-failure --timeout 300
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
run)
    scripts/install-deps.sh
    configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec build/release/quaver-pro "$@"
    ;;
build)
    scripts/install-deps.sh
    configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ;;
test)
    scripts/install-deps.sh
    configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
    run_tests build/release
    configure_and_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQUAVER_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests build/sanitize
    ;;
*)
    echo "usage: ./build.sh run [ARGS...] | test | build" >&2
    exit 2
    ;;
esac
