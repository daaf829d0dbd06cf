#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A batch split over four processes with GNU parallel writes exactly the
# files one run writes: the same names, folders and bytes.
#   sharded_run_test.sh TOLLAMERE_CLI SAMPLES_DIR flat|keep-folders
set -euo pipefail
cli=$1
samples=$2
mode=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A small tree with sub-folders at several depths and loose files on top.
# Names are unique: flat outputs of two shards must not meet.
place() {
    mkdir -p "in/$(dirname "$2")"
    cp "$samples/$1" "in/$2"
}
place ring.jpg top-ring.jpg
place star.gif top-star.gif
place ring.jpg a/ring-a1.jpg
place round-button.png a/round-a2.png
place square-icon.bmp a/deep/square-a3.bmp
place star.gif b/star-b1.gif
place wide-button.png b/wide-b2.png
place ring.jpg c/ring-c1.jpg
place round-button.png c/x/y/round-c2.png
place square-icon.bmp d/square-d1.bmp
place star.gif d/star-d2.gif
place wide-button.png d/wide-d3.png
mkdir one sharded

case $mode in
flat)
    "$cli" -q -o one in
    # Each process gets three of the twelve files.
    find in -type f -print0 | parallel -0 -j4 -N3 "$cli" -q -o sharded
    ;;
keep-folders)
    "$cli" -q --keep-folders -o one in
    # An output's place comes from the folder its input was found under, so
    # each process gets whole sub-folders, each with its part of the output
    # folder; the loose files on top are written flat, as one run writes them.
    quoted_cli=$(printf '%q' "$cli")
    find in -mindepth 1 -maxdepth 1 -type d -print0 |
        parallel -0 -j4 "mkdir -p sharded/{/} && $quoted_cli -q --keep-folders -o sharded/{/} {}"
    find in -mindepth 1 -maxdepth 1 -type f -print0 | xargs -0 -r "$cli" -q -o sharded
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

count=$(find one -type f | wc -l)
if [ "$count" -ne 12 ]; then
    echo "FAIL: one run wrote $count files, not 12" >&2
    exit 1
fi
if [ "$mode" = keep-folders ] && [ ! -f one/a/deep/square-a3.bmp ]; then
    echo "FAIL: one run did not keep the folders" >&2
    exit 1
fi
if ! diff -r one sharded; then
    echo "FAIL: the sharded run differs from one run ($mode)" >&2
    exit 1
fi
echo "four shards wrote what one run writes ($mode)"
