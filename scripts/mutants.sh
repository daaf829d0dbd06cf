#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Changes one line at a time in engine/, run/ and formats/ (a comparison
# turned round, a constant off by one, a flag dropped, a call skipped),
# rebuilds, runs that folder's tests, and lists the changes no test caught.
# Slow (a rebuild for each change): it stays outside ./test.sh.
#   scripts/mutants.sh                    40 changes, drawn from every file
#   scripts/mutants.sh --count N          N changes
#   scripts/mutants.sh --seed S           another draw (default 1: repeatable)
#   scripts/mutants.sh --files 'a.cpp b.cpp'  only those files
# The build is build-mutants/ ($MUTANTS_BUILD names another). It changes the
# working tree while it runs (commit nothing meanwhile); each file is put back
# after its change, and on an interrupt.
set -euo pipefail
cd "$(dirname "$0")/.."

count=40
seed=1
files=""
while [ $# -gt 0 ]; do
    case "$1" in
        --count) count=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        *) echo "usage: $0 [--count N] [--seed S] [--files 'FILE...']" >&2; exit 2 ;;
    esac
done
build=${MUTANTS_BUILD:-build-mutants}
[ -n "$files" ] || files=$(ls engine/*.cpp run/*.cpp formats/*.cpp)

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLLAMERE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --parallel >/dev/null

# Every change that can be made, one a line: file, line number, the new line
# (base64, so that any byte survives), and what was changed.
candidates=$(python3 - "$seed" "$count" $files <<'PY'
import base64, random, re, sys
seed, count, files = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
swaps = [(r' == ', ' != '), (r' != ', ' == '), (r' <= ', ' < '), (r' >= ', ' > '),
         (r'(?<=[\w)\]]) < (?=[\w(])', ' <= '), (r'(?<=[\w)\]]) > (?=[\w(])', ' >= '),
         (r' && ', ' || '), (r' \|\| ', ' && '), (r'\btrue\b', 'false'), (r'\bfalse\b', 'true'),
         (r'(?<![\w.])([1-9][0-9]*)(?![\w.])', None)]
found = []
for path in files:
    lines = open(path, encoding='utf-8', errors='surrogateescape').read().split('\n')
    for number, line in enumerate(lines, 1):
        code = line.strip()
        if not code or code.startswith(('//', '#', '*')) or 'static_assert' in code or 'constexpr std::string_view' in code:
            continue
        for pattern, replacement in swaps:
            for match in re.finditer(pattern, line):
                if replacement is None:
                    value = int(match.group(1))
                    new = line[:match.start(1)] + str(value + 1) + line[match.end(1):]
                    what = f'{value} -> {value + 1}'
                else:
                    new = line[:match.start()] + replacement + line[match.end():]
                    what = f'{match.group(0).strip()} -> {replacement.strip()}'
                found.append((path, number, new, what))
        # A call whose result is not used, skipped.
        if re.match(r'^\s*[A-Za-z_][\w:.>-]*\(.*\);\s*$', line) and not code.startswith(('return', 'throw', 'Raise')):
            found.append((path, number, re.match(r'^\s*', line).group(0) + ';', 'call skipped'))
        if re.search(r'if \(!', line):
            found.append((path, number, line.replace('if (!', 'if (', 1), 'condition turned round'))
random.Random(seed).shuffle(found)
for path, number, new, what in found[:count]:
    print(path, number, base64.b64encode(new.encode('utf-8', 'surrogateescape')).decode(), what.replace(' ', '_'))
PY
)

backup=""
restore() { [ -n "$backup" ] && cp "$backup" "$current" && rm -f "$backup"; backup=""; }
trap restore EXIT INT TERM

# The tests of the folder changed, and for run/ and formats/ the command
# line's too, which read their failures and outputs end to end.
tests_for() {
    case "$1" in
        engine/*) echo engine_tests ;;
        *) echo conversion_tests cli_tests ;;
    esac
}

caught=0
survived=()
tried=0
while read -r current number line what; do
    [ -n "$current" ] || continue
    backup=$(mktemp)
    cp "$current" "$backup"
    python3 - "$current" "$number" "$line" <<'PY'
import base64, sys
path, number, new = sys.argv[1], int(sys.argv[2]), base64.b64decode(sys.argv[3]).decode('utf-8', 'surrogateescape')
lines = open(path, encoding='utf-8', errors='surrogateescape').read().split('\n')
lines[number - 1] = new
open(path, 'w', encoding='utf-8', errors='surrogateescape').write('\n'.join(lines))
PY
    read -r -a targets <<< "$(tests_for "$current")"
    what=${what//_/ }
    # The programs the tests start are built too.
    if ! cmake --build "$build" --target "${targets[@]}" tollamere-cli >/dev/null 2>&1; then
        echo "  (does not build) $current:$number: $what"
    else
        tried=$((tried + 1))
        failed=0
        for target in "${targets[@]}"; do
            binary=$(find "$build/tests" -name "$target" -type f | head -1)
            if ! QT_QPA_PLATFORM=offscreen timeout 600 "$binary" --gtest_brief=1 >/dev/null 2>&1; then
                failed=1
                break
            fi
        done
        if [ "$failed" -eq 0 ]; then
            survived+=("$current:$number: $what")
            echo "SURVIVED $current:$number: $what"
        else
            caught=$((caught + 1))
            echo "caught   $current:$number: $what"
        fi
    fi
    restore
done <<< "$candidates"
# The tree as it was, built again, for the next use.
cmake --build "$build" >/dev/null 2>&1 || true

echo
echo "$caught of $tried changes caught ($(( tried ? 100 * caught / tried : 0 )) %)"
for item in "${survived[@]}"; do
    echo "  not caught: $item"
done
