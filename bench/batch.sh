#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole-process timings of tollamere-cli on a batch of 50 pictures (25 photos
# of 4000 x 3000 in JPEG, 25 buttons of 1024 x 1024 in PNG), with one worker
# and with one per core.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/build.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Writing the batch into $work/in ..."
./build/bench/make_batch_inputs "$work/in" 25 25

cli=./build/cli/tollamere-cli
hyperfine --runs "${RUNS:-3}" \
    --prepare "rm -rf '$work/out' && mkdir '$work/out'" \
    "$cli -q -j 1 -o '$work/out' '$work/in'" \
    "$cli -q -j $(nproc) -o '$work/out' '$work/in'"
