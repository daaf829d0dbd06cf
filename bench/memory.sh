#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak memory of tollamere-cli with all workers: it must grow with the number
# of workers and the picture size, not with the number of files. Also checks
# that the outputs are byte-identical to a one-worker run.
#   bench/memory.sh            1000 small pictures and 100 of 12 megapixels
#   SMALL=100 LARGE=10 bench/memory.sh   a quicker look
set -euo pipefail
cd "$(dirname "$0")/.."

small=${SMALL:-1000}
large=${LARGE:-100}
./scripts/build.sh >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$PWD/build/cli/tollamere-cli

peak() {  # peak resident set of one run, in MiB
    local out=$1
    shift
    rm -rf "$out" && mkdir -p "$out"
    /usr/bin/time -f '%M' -o "$work/rss" "$cli" -q -o "$out" "$@"
    echo $(( $(cat "$work/rss") / 1024 ))
}

report() {  # label, folder with the inputs, count
    local label=$1 inputs=$2
    local all one tenth
    all=$(peak "$work/out-all" "$inputs")
    one=$(peak "$work/out-one" -j 1 "$inputs")
    if diff -r "$work/out-all" "$work/out-one" >/dev/null; then same="identical"; else same="DIFFERENT"; fi
    printf '%-34s all workers %6s MiB   one worker %6s MiB   outputs %s\n' "$label" "$all" "$one" "$same"
}

echo "Writing $small small pictures (128 x 128 PNG) and $large of 12 megapixels (4000 x 3000 JPEG) ..."
./build/bench/make_batch_inputs "$work/small" 0 "$small" 128
./build/bench/make_batch_inputs "$work/large" "$large" 0
mkdir -p "$work/small-tenth" "$work/large-tenth"
link_first() {  # count, from folder, to folder
    local files=("$2"/*)
    for file in "${files[@]:0:$1}"; do ln -s "$file" "$3/"; done
}
link_first $((small / 10)) "$work/small" "$work/small-tenth"
link_first $(( (large + 9) / 10 )) "$work/large" "$work/large-tenth"

echo "Peak resident memory (workers: $(nproc) cores)"
report "$((small / 10)) small pictures" "$work/small-tenth"
report "$small small pictures" "$work/small"
report "$(( (large + 9) / 10 )) pictures of 12 megapixels" "$work/large-tenth"
report "$large pictures of 12 megapixels" "$work/large"

# Four pictures of 12 megapixels take about 240 MiB each by the run's
# estimate: a budget of 300 MiB lets one in at a time, whatever -j says.
all=$(peak "$work/out-budget" --max-memory 300 "$work/large-tenth")
printf '%-34s all workers, --max-memory 300: %6s MiB\n' "$(( (large + 9) / 10 )) pictures of 12 megapixels" "$all"
