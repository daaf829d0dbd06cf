#!/usr/bin/env bash
# Sets up and builds Tollamere, then converts the sample pictures of Samples/
# into ./out with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh
mkdir -p out
echo
echo "Converting Samples/ into ./out with tollamere-cli (the window is not part of this build yet)."
./build/cli/tollamere-cli --output out Samples
ls -l out
