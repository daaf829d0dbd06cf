#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tries the program as installed under PREFIX: every file in its place, the
# programs answering, and tollamere-cli converting the installed samples
# from a fresh home folder into pictures.
#   installed_program_test.sh PREFIX VERSION
set -euo pipefail
prefix=$1
version=$2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

id=app.tollamere.Tollamere
expected=(
    bin/tollamere
    bin/tollamere-cli
    lib/tollamere/tollamere-draw
    share/tollamere/Samples
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/tollamere.1.gz
    share/man/man1/tollamere-cli.1.gz
    share/bash-completion/completions/tollamere-cli
    share/doc/tollamere/copyright
    share/doc/tollamere/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for path in "${expected[@]}"; do
    [ -e "$prefix/$path" ] || fail "$path is not installed"
done
for program in bin/tollamere bin/tollamere-cli lib/tollamere/tollamere-draw; do
    [ -x "$prefix/$program" ] || fail "$program is not executable"
done

# Each icon is a PNG of the size its folder names.
for size in 16 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$icon" ] || continue
    described=$(file -b "$icon")
    [[ $described == "PNG image data, $size x $size,"* ]] || fail "$icon: $described"
done

# The samples the package carries are the project's, all of them.
source_samples=$(cd "$(dirname "$0")/../../Samples" && ls)
installed_samples=$(ls "$prefix/share/tollamere/Samples")
[ "$source_samples" = "$installed_samples" ] || fail "installed samples differ: $installed_samples"

# A fresh home: the installed programs must need nothing from the user's.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
mkdir -p "$HOME" "$work/out"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

[ "$("$prefix/bin/tollamere-cli" --version)" = "tollamere-cli $version" ] || fail "tollamere-cli --version"
[ "$("$prefix/bin/tollamere" --version)" = "tollamere $version" ] || fail "tollamere --version"
"$prefix/bin/tollamere" --help | grep -q 'PATH' || fail "tollamere --help"

status=0
"$prefix/bin/tollamere-cli" --quiet --output "$work/out" "$prefix/share/tollamere/Samples" || status=$?
[ "$status" -eq 0 ] || fail "tollamere-cli exited with $status on the installed samples"
for sample in "$prefix"/share/tollamere/Samples/*; do
    name=$(basename "$sample")
    output=$work/out/$name
    if [ ! -s "$output" ]; then
        fail "no output for $name"
        continue
    fi
    type=$(file -b --mime-type "$output")
    [[ $type == image/* ]] || fail "$name: the output is $type, not a picture"
    cmp -s "$sample" "$output" && fail "$name: the output is the input unchanged"
done
[ "$(ls "$work/out" | wc -l)" -eq "$(ls "$prefix/share/tollamere/Samples" | wc -l)" ] ||
    fail "the output folder holds other files: $(ls "$work/out")"

# A drawing with text, rendered by the installed helper at twice its size.
mkdir "$work/drawing" "$work/drawn"
printf '%s' '<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20.000002">' \
    '<rect width="40" height="20" fill="#2050d0"/><text x="2" y="16" font-size="14">Ab</text></svg>' >"$work/drawing/text.svg"
status=0
"$prefix/bin/tollamere-cli" --quiet --scale 2x --format png --output "$work/drawn" "$work/drawing/text.svg" || status=$?
[ "$status" -eq 0 ] || fail "tollamere-cli exited with $status on a drawing with text"
described=$(file -b "$work/drawn/text@2x.png" 2>&1)
[[ $described == "PNG image data, 80 x 40,"* ]] || fail "the drawing's output: $described"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the installed program works"
