#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each one:
#   scripts/fuzz.sh                 60 seconds per target
#   scripts/fuzz.sh --seconds N     N seconds per target
#   scripts/fuzz.sh --runs N        N inputs per target from a fixed seed (repeatable; the test run uses it)
# Inputs that crash or make the engine and the oracle differ are saved under
# build-fuzz/artifacts/; add each to tests/data/ as a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
case "${1:-}" in
    --seconds) limit=(-max_total_time="$2") ;;
    --runs) limit=(-runs="$2" -seed=1) ;;
    "") ;;
    *) echo "usage: $0 [--seconds N | --runs N]" >&2; exit 2 ;;
esac

./scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLLAMERE_FUZZ=ON -DTOLLAMERE_SANITIZE=address,undefined \
    -DTOLLAMERE_BUILD_TESTS=OFF -DTOLLAMERE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --parallel --target fuzz_load_picture fuzz_bevel_differential

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/artifacts
for target in fuzz_load_picture fuzz_bevel_differential; do
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    seeds=()
    [ -d "tests/data/$target" ] && seeds=("tests/data/$target")
    echo "== $target ${limit[*]}"
    # The decoders' own complaints about broken inputs go to standard error
    # by the thousand: the whole output goes to a log, and the summary here.
    log=build-fuzz/$target.log
    status=0
    build-fuzz/fuzz/$target "${limit[@]}" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/artifacts/$target-" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
    grep -E '^(#[0-9]+ *(DONE|INITED)|stat::number_of_executed_units|stat::average_exec_per_sec|SUMMARY)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$target found a fault (exit $status); its input is in build-fuzz/artifacts/" >&2
        exit 1
    fi
done
