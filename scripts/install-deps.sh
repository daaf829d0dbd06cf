#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests, the benchmarks and the
# Debian package need.
# Installs nothing when every package is already present.
set -euo pipefail

packages=(
    build-essential
    cmake
    ninja-build
    pkg-config
    qt6-base-dev
    librsvg2-dev
    libseccomp-dev
    fonts-dejavu-core
    qt6-image-formats-plugins
    libturbojpeg0-dev
    libgif-dev
    libdeflate-dev
    zlib1g-dev
    libpng-dev
    libavif-dev
    libjxl-dev
    liblcms2-dev
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    hyperfine
    clang
    time
    libclang-rt-14-dev
    fonts-liberation2
    xvfb
    xauth
    xdotool
    imagemagick
    desktop-file-utils
    appstream
    man-db
    groff-base
    file
    dpkg-dev
    lintian
    bash-completion
    parallel
    gcovr
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
