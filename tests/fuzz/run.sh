#!/usr/bin/env bash
# Builds the three fuzzers with clang in a build folder of their own and
# runs each in turn for a bounded time from its seeds (tests/data), then prints for
# each libFuzzer's last status (executions, crashes) and the inputs it kept.
#
#   run.sh [SECONDS_EACH]        (default 60)
#
# VELMORA_FUZZ_BUILD names the build folder (default /tmp/build-fuzz). The
# working corpus grows there from run to run; crash inputs land in
# BUILD/fuzz-artifacts/NAME/ and each fuzzer's log in BUILD/fuzz-logs/.
set -euo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: $0 [SECONDS_EACH]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
data=$root/tests/data
build=${VELMORA_FUZZ_BUILD:-/tmp/build-fuzz}
mkdir -p "$build"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELMORA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$build/configure.log" || {
    cat "$build/configure.log" >&2
    exit 1
}
cmake --build "$build" -j2 --target fuzz_settings fuzz_kvx fuzz_script


# One fuzzer at a time with one worker; fork mode keeps going after a crash
# so that the count covers the whole run. Timeouts and oversized allocations
# count as crashes: every input must finish quickly in bounded memory.
run_one() {
    local name=$1 dict=$2
    shift 2 # the rest: folders of seed inputs under tests/data
    local corpus=$build/fuzz-corpus/$name artifacts=$build/fuzz-artifacts/$name log=$build/fuzz-logs/$name.log
    mkdir -p "$corpus" "$artifacts" "$build/fuzz-logs"
    local -a dict_arg=()
    [[ -n $dict ]] && dict_arg=("-dict=$here/$dict")
    local before
    before=$(find "$artifacts" -type f | wc -l)
    # timeout(1) is a backstop only: -max_total_time ends the run.
    timeout --kill-after=30 $((seconds + 120)) "$build/bin/$name" -fork=1 -ignore_crashes=1 -ignore_ooms=1 \
        -ignore_timeouts=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -artifact_prefix="$artifacts/" "${dict_arg[@]}" "$corpus" "${@/#/$data/}" >"$log" 2>&1 || true
    # libFuzzer's last status line holds the executions and the oom/timeout/crash counts.
    echo "$name: $(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || echo "no status line, see $log")"
    echo "$name: $(($(find "$artifacts" -type f | wc -l) - before)) new input files in $artifacts"
}

run_one fuzz_settings ini.dict settings fuzz/settings
run_one fuzz_kvx "" fuzz/kvx
run_one fuzz_script script.dict scripts lang fuzz/script
