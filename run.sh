#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up and builds Tollamere, then opens the window. Without a display it
# converts the sample pictures of Samples/ into ./out with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/app/tollamere
fi

mkdir -p out
echo
echo "No display: converting Samples/ into ./out with tollamere-cli instead of opening the window."
./build/cli/tollamere-cli --output out Samples
ls -l out
