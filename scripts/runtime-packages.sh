#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Names the Debian packages that hold the shared libraries a program links,
# one a line, so that an image can install what the program needs and no
# more (Containerfile).
#   scripts/runtime-packages.sh PROGRAM
set -euo pipefail
program=$1

# Debian 12 merged /lib into /usr/lib, but dpkg still records some libraries
# under the old folder: ask for the path as the loader found it, then for
# the other spelling.
ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | sort -u | while read -r library; do
    for path in "$library" "${library#/usr}" "/usr$library" "$(realpath "$library")"; do
        if owner=$(dpkg-query -S "$path" 2>/dev/null); then
            echo "${owner%%:*}"
            continue 2
        fi
    done
    echo "runtime-packages.sh: $library: no package holds it" >&2
    exit 1
done | sort -u
