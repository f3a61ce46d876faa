#!/usr/bin/env bash
# Gate: static analysis of the project's own sources with clang-tidy (.clang-tidy) and cppcheck
# (scripts/cppcheck-suppressions.txt), both driven by the compile database of a native
# configure. Any finding of either tool fails the gate; both always run so one report shows all.
#
# Checked: the programs, their libraries, the simulators and the benchmarks. Not checked: the
# GoogleTest programs under tests/ (their macros expand to code these checks were not written
# for); they are held to the -Werror build, the sanitizers and valgrind instead. The shared test
# support under tests/support is checked through its headers where the simulators use them.
#
# Usage: scripts/gate-static.sh [build-dir]     (default: build-static in the source tree)
#        CLANG_TIDY=clang-tidy-14 CPPCHECK=cppcheck to pick other binaries.
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
build=$(realpath -m "${1:-$src/build-static}")
jobs=2
clang_tidy=${CLANG_TIDY:-$(command -v clang-tidy-14 || command -v clang-tidy)}
cppcheck=${CPPCHECK:-cppcheck}

run() {
    echo "+ $*" >&2
    "$@"
}

# Only the compile database is needed; nothing is built.
run cmake -S "$src" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=ON >/dev/null
db=$build/compile_commands.json

mapfile -t sources < <(python3 - "$db" "$src" <<'EOF'
import json, os, sys
db, src = sys.argv[1], os.path.realpath(sys.argv[2])
seen = set()
for entry in json.load(open(db)):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    rel = os.path.relpath(path, src)
    if rel.startswith("..") or rel.startswith("build") or rel.startswith("tests/"):
        continue
    if path not in seen:
        seen.add(path)
        print(path)
EOF
)
echo "${#sources[@]} sources" >&2

failed=0
report=$build/static-report.txt
: >"$report"

echo "== clang-tidy ($("$clang_tidy" --version | grep -o 'version [0-9.]*'))" >&2
tidy_log=$build/clang-tidy.log
# One file per process, two at a time; --quiet keeps the output to the findings.
if ! printf '%s\0' "${sources[@]}" |
    xargs -0 -n1 -P$jobs "$clang_tidy" -p "$build" --quiet >"$tidy_log" 2>&1; then
    failed=1
fi
# clang-tidy prints "N warnings generated." on stderr even when all were filtered out.
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Error while processing' \
    "$tidy_log" | tee -a "$report" || true

echo "== cppcheck ($("$cppcheck" --version))" >&2
mkdir -p "$build/cppcheck-cache"
filters=()
for s in "${sources[@]}"; do
    filters+=("--file-filter=$s")
done
# unix32: the board is a 32-bit target; long and pointers are 4 bytes there.
# cppcheck names files relative to its working folder when they lie below it, and the filters
# above are absolute: it runs from the root folder.
if ! cd / || ! run "$cppcheck" --project="$db" "${filters[@]}" \
    --cppcheck-build-dir="$build/cppcheck-cache" \
    --std=c++17 --platform=unix32 --library=posix \
    --enable=warning,style,performance,portability \
    --inline-suppr --suppressions-list="$src/scripts/cppcheck-suppressions.txt" \
    --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
    --error-exitcode=1 --quiet -j$jobs 2>&1 | tee -a "$report"; then
    failed=1
fi

echo "== findings per file" >&2
grep -o -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error|style|performance|portability)' "$report" |
    cut -d: -f1 | sort | uniq -c | sed "s|$src/||" || true

took=$(($(date +%s) - start))
if [ $failed -ne 0 ]; then
    echo "gate-static: FAILED in $took s (full report: $report)" >&2
    exit 1
fi
echo "gate-static: passed in $took s"
