#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tests with coverage counters, runs them, and writes a report of
# the lines and branches of engine/, run/, formats/, picture_io/, platform/,
# inputs/, looks/ and cli/ that they reach: build-coverage/coverage.html and
# a summary on standard output. Outside ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build-coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLLAMERE_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build build-coverage --parallel
find build-coverage -name '*.gcda' -delete
QT_QPA_PLATFORM=offscreen ctest --test-dir build-coverage --parallel "$(nproc)" --output-on-failure || true
gcovr --root . --object-directory build-coverage \
    --filter 'engine/' --filter 'run/' --filter 'formats/' --filter 'picture_io/' --filter 'platform/' \
    --filter 'inputs/' --filter 'looks/' --filter 'cli/' \
    --html-details build-coverage/coverage.html --print-summary
