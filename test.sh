#!/usr/bin/env bash
# Sets up, builds and runs every test, then the sanitizer builds of the tests.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
./scripts/sanitizer-tests.sh
