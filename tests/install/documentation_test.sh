#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The manual pages format without a warning, and they, the bash completion
# and the release notes agree with the programs they describe.
#   documentation_test.sh SOURCE_DIR TOLLAMERE_CLI VERSION
set -euo pipefail
source_dir=$1
cli=$2
version=$3
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

pages=("$source_dir/man/tollamere.1" "$source_dir/man/tollamere-cli.1")
completion=$source_dir/completion/tollamere-cli.bash

for page in "${pages[@]}"; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || fail "$page: groff failed"
    [ -z "$warnings" ] || fail "$page: groff warns: $warnings"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "$page: man failed"
    [ -z "$warnings" ] || fail "$page: man warns: $warnings"
    lexgrog "$page" >/dev/null || fail "$page: no NAME section that whatis can read"
    grep -q "^\.TH .* \"Tollamere $version\"" "$page" || fail "$page: not marked as version $version"
done

# Every option tollamere-cli's help names is in its manual page and in the
# completion, and the completion offers no option the program does not take.
help=$("$cli" --help)
options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u)
[ -n "$options" ] || fail "no options found in tollamere-cli --help"
offered=$(sed -n "/local options='/,/'\$/p" "$completion" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
for option in $options; do
    grep -qF -- "${option//-/\\-}" "${pages[1]}" || fail "tollamere-cli.1 does not describe $option"
    grep -qx -- "$option" <<<"$offered" || fail "the completion does not offer $option"
done
for option in $offered; do
    grep -qx -- "$option" <<<"$options" || fail "the completion offers $option, which tollamere-cli does not take"
done

# The completion itself, as bash runs it.
if [ -r /usr/share/bash-completion/bash_completion ]; then
    replies=$(cd "$source_dir" && bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        compopt() { :; }
        complete_line() {
            COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
            _tollamere_cli tollamere-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
            echo "${COMPREPLY[*]}"
        }
        complete_line tollamere-cli --ou
        complete_line tollamere-cli -x we
        complete_line tollamere-cli --output Sam
        complete_line tollamere-cli --size ""
        complete_line tollamere-cli -- Sam
    ' completion "$completion")
    expected=$'--output=\nwebp\nSamples\n\nSamples'
    [ "$replies" = "$expected" ] || fail "the completion offers: $replies"
else
    fail "bash-completion is not installed"
fi

# The release the package, the software centre and the manual name is the project's.
grep -q "<release version=\"$version\"" "$source_dir/desktop/app.tollamere.Tollamere.metainfo.xml" ||
    fail "the metainfo has no release $version"
head -n 1 "$source_dir/packaging/changelog" | grep -q "^tollamere ($version)" ||
    fail "the changelog's newest entry is not $version"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the documentation matches the programs"
