#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tries the Debian package as a user gets it, on this machine: builds it
# (scripts/package.sh), checks it with lintian, installs it with apt, converts
# /usr/share/tollamere/Samples with /usr/bin/tollamere-cli, opens
# /usr/bin/tollamere under a virtual display with the samples in its list and
# takes a screenshot, then removes the package again.
#
# It installs and removes a package, so ./test.sh does not run it.
#   scripts/try-package.sh [SCREENSHOT]     default: build-pkg/window.png
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

if dpkg-query -W -f='${Status}' tollamere 2>/dev/null | grep -q 'install ok installed'; then
    echo "tollamere is installed already; remove it first, so that this script does not remove yours" >&2
    exit 1
fi

deb=$(./scripts/package.sh | tee /dev/stderr | tail -n 1)
screenshot=$(realpath -m "${1:-build-pkg/window.png}")
echo "== lintian"
lintian --info "$deb" || true
if lintian "$deb" | grep -q '^E:'; then
    echo "lintian reports errors" >&2
    exit 1
fi

echo "== installing $deb"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -q "$deb"
work=$(mktemp -d)
cleanup() {
    echo "== removing the package"
    "${sudo[@]}" apt-get purge -y -q tollamere >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A fresh home, so the user's settings are neither read nor written.
export HOME=$work/home
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
mkdir -p "$HOME" "$work/out"

echo "== /usr/bin/tollamere-cli on /usr/share/tollamere/Samples"
/usr/bin/tollamere-cli --output "$work/out" /usr/share/tollamere/Samples
for output in "$work"/out/*; do
    type=$(file -b --mime-type "$output")
    echo "$(basename "$output"): $type"
    [[ $type == image/* ]] || { echo "not a picture: $output" >&2; exit 1; }
done
[ "$(ls "$work/out" | wc -l)" -eq "$(ls /usr/share/tollamere/Samples | wc -l)" ]

# The window is started as "Open With" starts it, with one sample as an
# argument; "Load Sample/Example File" (Alt+L) then adds the samples it finds
# from its own folder, and the question that follows is answered No (Escape).
# The screenshot shows the list: the argument's row, then the installed samples.
echo "== /usr/bin/tollamere under a virtual display"
mkdir -p "$(dirname "$screenshot")"
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    /usr/bin/tollamere /usr/share/tollamere/Samples/star.gif &
    window=$!
    id=$(timeout 30 xdotool search --sync --onlyvisible --name "^Tollamere$" | head -n 1)
    xdotool windowfocus --sync "$id"
    xdotool key --clearmodifiers alt+l
    sleep 1
    xdotool key Escape
    sleep 1
    import -window root "$1"
    kill "$window"
    wait "$window" || true
' try-package "$screenshot"
echo "screenshot: $screenshot"
