#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes a corpus of outputs: the samples and a few made pictures (alpha,
# grey, CMYK, 16-bit, tiny, wide), in every output format, through every
# technique and style, with a look's margin and shadow, at other scales and
# fitted, on one worker and on two. Run it before and after a change that
# must keep every byte, then compare the two folders with diff -r.
# Usage: scripts/identity-corpus.sh [path/to/tollamere-cli] OUTPUT_FOLDER
set -euo pipefail
cli=${2:+$1}
cli=${cli:-build/cli/tollamere-cli}
out=${2:-$1}
[ -x "$cli" ] || { echo "no program at $cli" >&2; exit 2; }
cd "$(dirname "$0")/.."
rm -rf "$out"
mkdir -p "$out/in"
cp Samples/* "$out/in/"
convert -size 64x48 gradient:'#204060-#f0c040' -alpha set -channel A -fx 'i<w/2?1:0.5' "$out/in/alpha.png"
convert -size 33x21 xc:grey50 -fill white -draw 'circle 16,10 16,3' -colorspace Gray "$out/in/grey.png"
convert -size 40x40 xc:'#10a0f0' -fill '#f04000' -draw 'rectangle 8,8 31,31' -colorspace CMYK "$out/in/cmyk.jpg"
convert -size 30x20 gradient:'#0000ff-#ffff00' -depth 16 "$out/in/deep.png"
convert -size 1x1 xc:'#80ff80' "$out/in/tiny.png"
convert -size 300x40 xc:black -fill '#40c060' -draw 'roundrectangle 4,4 295,35 12,12' "$out/in/wide.bmp"

run() {
    local name=$1
    shift
    for jobs in 1 2; do
        mkdir -p "$out/$name-j$jobs"
        "$cli" -q -j "$jobs" -o "$out/$name-j$jobs" "$@" "$out/in" || true
    done
}
run own
for format in png jpg bmp gif webp tiff ico cur avif jxl ppm xpm; do
    run "format-$format" --format "$format"
done
for technique in smooth chisel; do
    for style in inner outer emboss pillow; do
        run "$technique-$style" --format png --technique "$technique" --style "$style" --profile round --soften 1
    done
done
run look-jpg --format jpg --technique smooth --margin 6 --drop-shadow 3,3,4
run look-png --format png --technique chisel --margin 6 --drop-shadow 3,3,4,red@50 --shape alpha
run classic-shadow --margin 4 --drop-shadow 2,2,3
run scales --format png --scale 0.5x,1x,2x
run fitted --format webp --width 48 --height 48
run icons --format ico --ico-sizes 16,32,48
run effect -s 12 -a 45 -e 60
# What the run said of each item is part of what it does.
"$cli" -q -j 2 --json -o "$out/own-j2" "$out/in" | sed -e 's/"milliseconds": [0-9.e+-]*/"milliseconds": 0/' \
    -e 's/"seconds": [0-9.e+-]*/"seconds": 0/' -e "s|$out/||g" > "$out/report.json" || true
rm -rf "$out/in"
