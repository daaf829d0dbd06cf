#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Names the Debian packages that hold the shared libraries a program links,
# one a line, so that an image can install what the program needs and no
# more (Containerfile).
#   scripts/runtime-packages.sh PROGRAM
set -euo pipefail
program=$1

mapfile -t libraries < <(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | sort -u)
# Debian 12 merged /lib into /usr/lib, but dpkg still records some libraries
# under the old folder: ask for both spellings, in one query (each one reads
# dpkg's whole database).
spellings=()
for library in "${libraries[@]}"; do
    spellings+=("/usr${library#/usr}" "${library#/usr}")
done
owners=$(dpkg-query -S "${spellings[@]}" 2>/dev/null || true)
for library in "${libraries[@]}"; do
    if ! grep -q "^[^ ]*: \(/usr\)\?${library#/usr}\$" <<<"$owners"; then
        echo "runtime-packages.sh: $library: no package holds it" >&2
        exit 1
    fi
done
# "package:arch: path", or "a, b: path" for a path two packages share.
sed 's/: .*//; s/, /\n/g' <<<"$owners" | sed 's/:.*//' | sort -u
