#!/usr/bin/env bash
# Sets up and builds Tollamere.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/build.sh
echo
echo "Built the bevel engine and its benchmark (build/bench/bench_engine)."
echo "The window and the command-line tool are not part of this build yet; nothing to start."
