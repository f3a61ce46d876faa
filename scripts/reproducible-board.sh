#!/usr/bin/env bash
# Builds the board's package twice from this source tree, with scripts/package-board.sh, in two
# fresh folders at different paths (each with its own sysroot), and fails unless both give the
# same program (the build folder's okt32-tools, before stripping), the same .deb and the same
# .tar.gz, byte for byte. Both builds take the same SOURCE_DATE_EPOCH: the caller's, or the
# changelog's date.
#
# Usage: scripts/reproducible-board.sh [work-dir]     (default: a temporary folder, removed after)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)

fail() {
    echo "reproducible-board: $*" >&2
    exit 1
}

if [ $# -gt 0 ]; then
    mkdir -p "$1"
    work=$(cd "$1" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/reproducible-board.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
# Different lengths and depths, so that a path that slips into a file shows.
first=$work/first
second=$work/second/build-of-the-same-sources
[ ! -e "$first" ] && [ ! -e "$second" ] || fail "$work already holds a build: give an empty folder"

for build in "$first" "$second"; do
    echo "== package in $build ($(($(date +%s) - start)) s)" >&2
    "$src/scripts/package-board.sh" "$build" >"$work/$(basename "$build").log" 2>&1 ||
        fail "the package build in $build failed; its output is in $work/$(basename "$build").log"
done

differ=0
for file in bin/okt32-tools okt32-service-tools_*_mipsel.deb okt32-service-tools_*_mipsel.tar.gz; do
    # shellcheck disable=SC2206 # the pattern names exactly one file in each build
    a=($first/$file)
    b=($second/$file)
    [ ${#a[@]} -eq 1 ] && [ -f "${a[0]}" ] || fail "the first build made no $file"
    [ ${#b[@]} -eq 1 ] && [ -f "${b[0]}" ] || fail "the second build made no $file"
    if cmp "${a[0]}" "${b[0]}"; then
        echo "same: $(basename "${a[0]}") ($(stat -c %s "${a[0]}") bytes)"
    else
        differ=1
    fi
done
if [ "$differ" -ne 0 ]; then
    trap - EXIT # both builds stay for a look
    fail "two builds of the same sources differ; both are in $work"
fi

echo "reproducible-board: passed in $(($(date +%s) - start)) s"
