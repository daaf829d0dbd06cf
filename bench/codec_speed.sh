#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End to end against the codecs' floor, in one call: 20 photos of 4000 x 3000
# (JPEG) and 20 buttons of 1024 x 1024 (PNG), each batch converted by
# tollamere-cli with one worker and with one per core, and by codec_floor,
# which only decodes and encodes with the codec libraries (TurboJPEG at
# quality 100 and 4:4:4, libpng at its defaults), and the photos once more
# with the smooth technique. Prints the times, the ratios, the peak memory and
# the PNG sizes. BASELINE names an older build of
# tollamere-cli to time beside it, one worker on each batch.
#   bench/codec_speed.sh
#   RUNS=10 PHOTOS=20 BUTTONS=20 CLI=/other/tollamere-cli bench/codec_speed.sh
#   BASELINE=/old/build/cli/tollamere-cli bench/codec_speed.sh
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
./scripts/build.sh >/dev/null
cli=${CLI:-$PWD/build/cli/tollamere-cli}
floor=$PWD/build/bench/codec_floor
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

./build/bench/make_batch_inputs "$work/mixed" "${PHOTOS:-20}" "${BUTTONS:-20}" >/dev/null
mkdir "$work/photos" "$work/buttons" "$work/out"
mv "$work"/mixed/*.jpg "$work/photos/"
mv "$work"/mixed/*.png "$work/buttons/"

baseline=()
if [[ -n ${BASELINE:-} ]]; then
    baseline=(-n "jpeg baseline -j 1" "$BASELINE -q -j 1 -o '$work/out' '$work/photos'"
              -n "png baseline -j 1" "$BASELINE -q -j 1 -o '$work/out' '$work/buttons'")
fi

hyperfine --runs "$runs" --warmup 1 --style basic --export-csv "$work/times.csv" \
    --prepare "rm -rf '$work/out' && mkdir '$work/out'" "${baseline[@]}" \
    -n "jpeg floor" "$floor jpeg '$work/out' '$work'/photos/*" \
    -n "jpeg cli -j 1" "$cli -q -j 1 -o '$work/out' '$work/photos'" \
    -n "jpeg cli -j $cores" "$cli -q -j $cores -o '$work/out' '$work/photos'" \
    -n "jpeg smooth -j 1" "$cli -q -j 1 --technique smooth -o '$work/out' '$work/photos'" \
    -n "png libpng" "$floor png '$work/out' '$work'/buttons/*" \
    -n "png cli -j 1" "$cli -q -j 1 -o '$work/out' '$work/buttons'" \
    -n "png cli -j $cores" "$cli -q -j $cores -o '$work/out' '$work/buttons'" >/dev/null

peak() {  # peak resident set of one run, in MiB
    rm -rf "$work/out" && mkdir "$work/out"
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null
    echo $(( $(cat "$work/rss") / 1024 ))
}
jpeg_peak_one=$(peak "$cli" -q -j 1 -o "$work/out" "$work/photos")
jpeg_peak_all=$(peak "$cli" -q -j "$cores" -o "$work/out" "$work/photos")
smooth_peak=$(peak "$cli" -q -j 1 --technique smooth -o "$work/out" "$work/photos")
# The same pixels both ways: the program's outputs, written again by libpng.
rm -rf "$work/out-cli" "$work/out-libpng" && mkdir "$work/out-cli" "$work/out-libpng"
"$cli" -q -o "$work/out-cli" "$work/buttons"
"$floor" png "$work/out-libpng" "$work"/out-cli/*
png_cli_bytes=$(du -sb "$work/out-cli" | cut -f1)
png_libpng_bytes=$(du -sb "$work/out-libpng" | cut -f1)

awk -F, -v photos="${PHOTOS:-20}" -v buttons="${BUTTONS:-20}" -v cores="$cores" '
NR > 1 { gsub(/"/, "", $1); mean[$1] = $2; order[++n] = $1 }
END {
    printf "%-22s %10s %14s\n", "command", "seconds", "ms per file"
    for (i = 1; i <= n; i++) {
        count = order[i] ~ /^jpeg/ ? photos : buttons
        printf "%-22s %10.3f %14.1f\n", order[i], mean[order[i]], 1000 * mean[order[i]] / count
    }
    printf "\nJPEG, one worker / floor:        %.2fx (target <= 1.25)\n", mean["jpeg cli -j 1"] / mean["jpeg floor"]
    printf "JPEG, smooth technique / floor:  %.2fx (target <= 1.4)\n", mean["jpeg smooth -j 1"] / mean["jpeg floor"]
    printf "JPEG, %d workers speed-up:        %.2fx of %d (target >= %.1f)\n", cores, mean["jpeg cli -j 1"] / mean["jpeg cli -j " cores], cores, 0.9 * cores
    printf "PNG, libpng defaults / one worker: %.2fx faster\n", mean["png libpng"] / mean["png cli -j 1"]
    if ("png baseline -j 1" in mean) {
        printf "JPEG, one worker, baseline / now:  %.2fx faster\n", mean["jpeg baseline -j 1"] / mean["jpeg cli -j 1"]
        printf "PNG, one worker, baseline / now:   %.2fx faster (target >= 2)\n", mean["png baseline -j 1"] / mean["png cli -j 1"]
    }
}' "$work/times.csv"
echo "JPEG peak memory: $jpeg_peak_one MiB with one worker, $jpeg_peak_all MiB with $cores, $smooth_peak MiB smooth"
awk -v a="$png_cli_bytes" -v b="$png_libpng_bytes" 'BEGIN { printf "PNG sizes: %d bytes written, libpng %d: %.3f (target <= 1)\n", a, b, a / b }'
