#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the engine, picture-file, folder-scan, look and run-core tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the run core's, the
# engine's threaded and the window's background jobs' tests with
# ThreadSanitizer, and runs them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

configure() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLLAMERE_SANITIZE="$2" \
        -DTOLLAMERE_BUILD_BENCHMARKS=OFF >/dev/null
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan-suppressions.txt"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
configure build-asan address,undefined
cmake --build build-asan --parallel --target engine_tests conversion_tests inputs_tests looks_tests
build-asan/tests/engine/engine_tests --gtest_brief=1
build-asan/tests/conversion/conversion_tests --gtest_brief=1
build-asan/tests/inputs/inputs_tests --gtest_brief=1
build-asan/tests/looks/looks_tests --gtest_brief=1

echo "== ThreadSanitizer"
configure build-tsan thread
cmake --build build-tsan --parallel --target conversion_tests
build-tsan/tests/conversion/conversion_tests --gtest_brief=1 --gtest_filter='ConversionRun*'
# The window's background jobs: the folder scans and the run handing their
# results back to the window's thread.
cmake --build build-tsan --parallel --target background_jobs_tests
QT_QPA_PLATFORM=offscreen build-tsan/tests/app/background_jobs/background_jobs_tests --gtest_brief=1
# The engine's tests whose pictures are large enough for the stages to run
# their bands on threads; the other tests with several bands run them in turn.
cmake --build build-tsan --parallel --target engine_tests
build-tsan/tests/engine/engine_tests --gtest_brief=1 \
    --gtest_filter='ForEachBandTest.*:BevelThreads.*:BevelOracleDifferential.LargePicturesOnSeveralThreads:BevelPipelineTest.BadInputFailsAndLeavesTheOutputUntouched'
