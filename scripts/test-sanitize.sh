#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-asan (or $BUILD_DIR_ASAN) and runs every test there. The encoder
# library gets the same flags, so tests that dlopen it stay instrumented end
# to end. The fuzzers need clang and their own build; they are left out.
# Then the leak check of one full conversion (tests/sanitizers/leak_check.sh),
# under LeakSanitizer here and under valgrind over the normal build
# ($BUILD_DIR, default build/; the check configures it when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR_ASAN:-$here/build-asan}"
supp="$here/tests/sanitizers"
jobs="$(nproc)"

"$here/scripts/install-deps.sh"

# Set before the build too: test discovery runs each test binary once.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"

# -O1 keeps the instrumented build and run quick while leaving stacks usable;
# asserts stay on.
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DVELMORA_SANITIZE=ON -DVELMORA_FUZZ=OFF ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$build" -j "$jobs"

echo "== Sanitizer run: every test under AddressSanitizer and UndefinedBehaviorSanitizer"
status=0
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 900) || status=1

echo "== Leak check of one full conversion"
"$here/tests/sanitizers/leak_check.sh" || status=1
exit $status
