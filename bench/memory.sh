#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak memory of tollamere-cli with all workers: it must grow with the number
# of workers and the picture size, not with the number of files. Also checks
# that the outputs are byte-identical to a one-worker run.
#   bench/memory.sh            1000 small pictures and 100 of 12 megapixels
#   SMALL=100 LARGE=10 bench/memory.sh   a quicker look
#   ENCODERS=1 bench/memory.sh  instead, each encoder's bytes per pixel at its
#                               peak (the run's ItemBytesPerPixelFor), and
#                               files whose headers lie, under --max-memory 100
#   BUILT=1 ...                 use build/ as it is
set -euo pipefail
cd "$(dirname "$0")/.."

small=${SMALL:-1000}
large=${LARGE:-100}
[ -n "${BUILT:-}" ] || ./scripts/build.sh >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=$PWD/build/cli/tollamere-cli

kib() {  # peak resident set of one run, in KiB
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/rss"
}

if [ -n "${ENCODERS:-}" ]; then
    # One item on one worker: its peak less the process's own (a 1 x 1
    # picture), over its pixels. The input is a photo-like PNG, or for JPEG
    # also a JPEG, which goes through the surface instead of a picture.
    ./build/bench/make_batch_inputs --photo "$work/tiny.png" 1x1
    fixed=$(kib "$cli" -q -j 1 -o "$work" --format png "$work/tiny.png")
    echo "Fixed size of the process: $((fixed / 1024)) MiB"
    for size in 4000x3000 4000x4000; do
        pixels=$(( ${size%x*} * ${size#*x} ))
        ./build/bench/make_batch_inputs --photo "$work/photo-$size.png" "$size"
        ./build/bench/make_batch_inputs --photo "$work/photo-$size.jpg" "$size"
        for route in png:jxl png:avif png:webp png:png png:jpg jpg:jpg png:tiff png:bmp; do
            mkdir -p "$work/out-$size"
            peak=$(kib "$cli" -q -j 1 -o "$work/out-$size" --format "${route#*:}" "$work/photo-$size.${route%:*}")
            printf '%-9s %-9s peak %5s MiB  %5.1f bytes per pixel\n' "$size" "$route" $((peak / 1024)) \
                "$(echo "($peak - $fixed) * 1024 / $pixels" | bc -l)"
        done
    done
    # A 1 KB AVIF whose 5900 x 5900 frame its header calls 64 x 64 (libaom
    # here codes no larger frame), and an icon whose first entry is 16 x 16
    # and whose second a PNG of 8000 x 8000; eight of each.
    ./build/bench/make_batch_inputs --lying "$work/avif-src" 5900
    ./build/bench/make_batch_inputs --lying "$work/ico-src" 8000
    mkdir -p "$work/lying-avif" "$work/lying-ico"
    for i in 1 2 3 4 5 6 7 8; do
        cp "$work/avif-src/lying.avif" "$work/lying-avif/$i.avif"
        cp "$work/ico-src/lying.ico" "$work/lying-ico/$i.ico"
    done
    for kind in avif ico; do
        for jobs in 2 4 8; do
            rm -rf "$work/out" && mkdir -p "$work/out"
            peak=$(kib "$cli" -q -j "$jobs" --max-memory 100 -o "$work/out" --format png "$work/lying-$kind")
            printf 'lying %-4s -j %s --max-memory 100: peak %5s MiB\n' "$kind" "$jobs" $((peak / 1024))
        done
    done
    exit 0
fi

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
