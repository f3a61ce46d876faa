#!/bin/sh
# run-fuzzers.sh <seconds-per-target> [runs]: builds the libFuzzer targets with clang in their own
# build folder, makes the seed corpora and runs each target for the given time (or, with a second
# argument, for that many executions). A finding stops the run with a non-zero status; the
# crashing input is left in the build folder.
set -eu

seconds=${1:?usage: run-fuzzers.sh <seconds-per-target> [runs]}
runs=${2:--1}
src=$(cd "$(dirname "$0")/../.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
build=${OKT_FUZZ_BUILD_DIR:-$src/build-fuzz}
clang_c=${CC:-$(command -v clang || command -v clang-14)}
clang_cxx=${CXX:-$(command -v clang++ || command -v clang++-14)}

CC=$clang_c CXX=$clang_cxx cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOKT_BUILD_FUZZERS=ON -DOKT_SANITIZE=ON -DOKT_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j2 -t fuzz_ihex_parse fuzz_pack_read fuzz_idrec_decode fuzz_make_seeds

seeds=$build/fuzz-seeds
for target in ihex pack idrec; do
    mkdir -p "$seeds/$target" "$build/fuzz-corpus/$target"
done
(cd "$build" && ./fuzz/fuzz_make_seeds "$seeds/ihex" "$seeds/pack" "$seeds/idrec" >/dev/null)

for target in ihex pack idrec; do
    case $target in
        ihex) exe=fuzz_ihex_parse ;;
        pack) exe=fuzz_pack_read ;;
        idrec) exe=fuzz_idrec_decode ;;
    esac
    echo "== $exe: ${seconds}s, runs $runs"
    log=$build/fuzz-$target.log
    rm -f "$build/fuzz-0.log"
    status=0
    (cd "$build" && "./fuzz/$exe" -jobs=1 -workers=1 -max_total_time="$seconds" -runs="$runs" \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-" "fuzz-corpus/$target" \
        "$seeds/$target") || status=$?
    mv "$build/fuzz-0.log" "$log"
    grep -E '^(Done|stat::)|ERROR|SUMMARY' "$log" || true
    if [ "$status" -ne 0 ] || grep -q -E 'ERROR: |SUMMARY: ' "$log"; then
        echo "== $exe: FINDING, see $log"
        exit 1
    fi
done
