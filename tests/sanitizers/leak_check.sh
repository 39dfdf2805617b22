#!/usr/bin/env bash
# Leak check of one full conversion: a small clip made with the ffmpeg CLI, the
# program's probe and conversion scripts for it, and both passes through the
# encoder library's C interface (leak_driver.cpp), watched by
#   valgrind       over the normal build ($BUILD_DIR, default build/), and
#   LeakSanitizer  over the sanitizer build ($BUILD_DIR_ASAN, default build-asan/).
# Then every input of the bad-input corpus (tests/corpus/make_corpus.sh) goes
# the same way under valgrind: the ways out of a refused or failed conversion
# are where leaks hide (under LeakSanitizer the corpus suite checks them in
# the sanitizer run).
#
# Each check builds only what it needs in its folder (the encoder library and
# the script writer) and compiles the driver next to them. Exit 0 when the
# clip converted and no check found a leak or a memory error.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
supp="$here/tests/sanitizers"
# What a checker exits with when it found something; the driver itself exits
# 0 (converted) or 1 (refused or failed, with the library's reason).
finding=86
status=0

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A clip with the usual ingredients: H.264 (frame threads), AAC stereo.
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=5" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=5" -ac 2 \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest "$work/clip ü.mp4"

# The targets the driver needs, then the driver with the flags of that build.
build_driver() { # build-folder extra-flags...
    local build="$1"
    shift
    cmake --build "$build" -j "$(nproc)" --target TarvikDll velmora_script velmora_jobs >/dev/null
    c++ -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion "$@" \
        -I"$here/src" -I"$here/tests" "$supp/leak_driver.cpp" \
        "$build/src/script/libvelmora_script.a" "$build/src/jobs/libvelmora_jobs.a" \
        -ldl -o "$build/bin/leak_driver"
}

# Every corpus input through the checker given as the arguments (ending with
# the driver and the library); prints the logs of those with a finding and
# fails when there was one.
check_corpus() { # name command...
    local name="$1"
    shift
    local checked=0 found=0 input log input_status
    "$here/tests/corpus/make_corpus.sh" "$work/corpus" >/dev/null
    while IFS= read -r -d '' input; do
        case "$input" in *.srt | *.jpg | */noise.bin) continue ;; esac
        log="$work/$name-corpus-$checked.log"
        input_status=0
        "$@" "$input" "$work/$name-corpus-run-$checked" >"$log" 2>&1 || input_status=$?
        checked=$((checked + 1))
        if [ $input_status -gt 1 ]; then
            echo "$name: ${input#"$work/corpus/"}: exit status $input_status"
            cat "$log"
            found=$((found + 1))
        fi
    done < <(find "$work/corpus" -type f -print0 | sort -z)
    echo "$name: $checked corpus inputs, $found with a finding"
    [ $found -eq 0 ]
}

build="${BUILD_DIR:-$here/build}"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
if grep -q '^VELMORA_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "valgrind needs a build without sanitizers; $build has them" >&2
    exit 2
fi
build_driver "$build"
valgrind=(valgrind --leak-check=full --show-leak-kinds=definite,indirect
    --errors-for-leak-kinds=definite,indirect --error-exitcode=$finding --num-callers=40
    --keep-debuginfo=yes --suppressions="$supp/valgrind.supp")
log="$work/valgrind.log"
valgrind_status=0
"${valgrind[@]}" --log-file="$log" "$build/bin/leak_driver" "$build/bin/libTarvikDll.so" \
    "$work/clip ü.mp4" "$work/valgrind" || valgrind_status=$?
# Some CPUs run instructions this valgrind cannot decode inside the media
# libraries' own load-time code (RDTSCP in libhwy, say), before any code
# of ours runs: then valgrind can check nothing on this machine. Say so
# and leave the leak check to LeakSanitizer rather than fail the machine.
if [ $valgrind_status -ne 0 ] && grep -q 'unhandled instruction bytes' "$log" &&
    grep -A1 'Illegal opcode' "$log" | grep -q '(in /usr/lib/' && grep -q '_dl_init' "$log"; then
    echo "valgrind: skipped, it cannot decode an instruction of this CPU while the system libraries load:"
    grep -m1 -A1 'Illegal opcode' "$log"
else
    cat "$log"
    for summary in 'definitely lost: .*' 'indirectly lost: .*' 'ERROR SUMMARY: .*'; do
        echo "valgrind: $(grep -m1 -o "$summary" "$log" || echo "${summary%%:*}: (no summary)")"
    done
    [ $valgrind_status -eq 0 ] || status=1
    check_corpus valgrind "${valgrind[@]}" "$build/bin/leak_driver" "$build/bin/libTarvikDll.so" || status=1
fi

build="${BUILD_DIR_ASAN:-$here/build-asan}"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DVELMORA_SANITIZE=ON >/dev/null
build_driver "$build" -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:exitcode=$finding"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=$finding"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=1:report_objects=1:exitcode=$finding"
log="$work/lsan.log"
lsan_status=0
"$build/bin/leak_driver" "$build/bin/libTarvikDll.so" "$work/clip ü.mp4" "$work/lsan" 2>"$log" ||
    lsan_status=$?
cat "$log"
if [ $lsan_status -eq 0 ]; then
    echo "LeakSanitizer: no leaks, no errors"
else
    echo "LeakSanitizer: $(grep -m1 'SUMMARY' "$log" || echo "driver failed with status $lsan_status")"
    status=1
fi
exit $status
