#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a clean build folder, build-pkg/: Release,
# without the tests and the benchmarks, stripped, with Debian's hardening
# flags; prints the path of the .deb on its last line.
#   scripts/package.sh            JOBS=1 scripts/package.sh   (compile jobs)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
umask 022
rm -rf build-pkg

# Two builds of one commit give the same bytes: CPack stamps every file of the
# package with SOURCE_DATE_EPOCH, here the last commit's time (or, outside a
# checkout, the changelog's), and dpkg-buildflags maps the build folder out of
# the programs.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y packaging/changelog)
fi
export SOURCE_DATE_EPOCH

# dpkg-buildflags gives the flags Debian builds its packages with (stack
# protector, fortified functions, read-only relocations); CMake does not
# read CPPFLAGS, so the preprocessor's part joins the compiler's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"

cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTOLLAMERE_BUILD_TESTS=OFF -DTOLLAMERE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-pkg --parallel "${JOBS:-$(nproc)}"
(cd build-pkg && cpack -G DEB >/dev/null)

debs=(build-pkg/packages/tollamere_*.deb)
echo "Debian package:"
echo "$PWD/${debs[0]}"
