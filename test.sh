#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and runs every test, then the sanitizer builds of the tests
# and a short fuzzing run from a fixed seed, so the result is repeatable.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
./scripts/sanitizer-tests.sh
./scripts/fuzz.sh --runs 20000
