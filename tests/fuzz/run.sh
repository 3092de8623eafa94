#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and the address and undefined-behaviour sanitizers into
# build-fuzz/, then runs each target for a number of executions, one job at a time.
#
#   bash tests/fuzz/run.sh [runs] [target ...]
#
# runs: executions per target, 10000000 unless given (the JPEG decoder, slow per input, gets a tenth).
# ZRK_FUZZ_SECONDS, when set, bounds each target's run in time instead.
# Targets: bmp_reader jpeg_loader jpeg_decoder avi_reader packed_dib page_assembly (all unless given).
# Each target starts from its seed corpus and past crashes, copied to build-fuzz/work/<target>/, which
# also collects what the run adds; a finding is written to build-fuzz/findings/<target>/ and ends the
# script with an error. A finding that is kept becomes a file in tests/fuzz/crashes/<target>/, which
# every build then replays.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
runs="${1:-10000000}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(bmp_reader jpeg_loader jpeg_decoder avi_reader packed_dib page_assembly)

cc=$(command -v clang-14 || command -v clang || true)
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cc" ] || [ -z "$cxx" ]; then
    echo "clang is not installed: the fuzz targets need it (packages clang-14, libclang-rt-14-dev)." >&2
    exit 1
fi
build="$root/build-fuzz"
export CCACHE_BASEDIR="$root"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_CXX_COMPILER="$cxx" -DZRK_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/zrk_fuzz_}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for target in "${targets[@]}"; do
    work="$build/work/$target"
    findings="$build/findings/$target"
    mkdir -p "$work" "$findings"
    cp -n "$root/tests/fuzz/corpus/$target/"* "$root/tests/fuzz/crashes/$target/"* "$work/" 2>/dev/null || true
    limit=(-runs="$runs")
    [ "$target" = jpeg_decoder ] && limit=(-runs="$((runs / 10))")
    [ -n "${ZRK_FUZZ_SECONDS:-}" ] && limit=(-max_total_time="$ZRK_FUZZ_SECONDS")
    echo "== $target: ${limit[*]}"
    if ! "$build/tests/fuzz/zrk_fuzz_$target" "${limit[@]}" -timeout=30 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/" "$work" \
        2>&1 | tee "$build/$target.log" | grep -E "^#[0-9]+.*(pulse|DONE)|stat::|ERROR|SUMMARY|Test unit written"; then
        true
    fi
    if ls "$findings"/* >/dev/null 2>&1; then
        echo "!! $target: findings in $findings" >&2
        status=1
    fi
done
exit $status
