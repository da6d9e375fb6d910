#!/bin/sh
# Builds the libFuzzer targets with clang (build/fuzz) and runs each of them
# for SECONDS (default 60), from the seeds in fuzz/corpus and the sample
# documents. Extra arguments name the targets to run (default: all).
# `fuzz.sh --build-only` builds the targets and runs none.
# Findings are kept in build/fuzz/artifacts; any finding fails the run.
set -e
cd "$(dirname "$0")/.."
BUILD_ONLY=""
[ "$1" = --build-only ] && BUILD_ONLY=1 && shift
SECONDS_EACH=${1:-60}
[ $# -gt 0 ] && shift
TARGETS=${*:-"convert xonxoff opfs normalise link settings payment virtual_ecr"}
JOBS=$(nproc 2>/dev/null || echo 2)

command -v clang++ >/dev/null || scripts/install-deps.sh
LAUNCHER=""
command -v ccache >/dev/null && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQUILO1_FUZZ=ON $LAUNCHER >/dev/null
cmake --build build/fuzz -j "$JOBS" --target quilo1_fuzzers
[ -z "$BUILD_ONLY" ] || exit 0

mkdir -p build/fuzz/artifacts
# The targets write their documents into a scratch folder; memory is faster.
if [ -z "$TMPDIR" ] && [ -w /dev/shm ]; then
  TMPDIR=/dev/shm
  export TMPDIR
fi
failed=""
for t in $TARGETS; do
  work=build/fuzz/corpus/$t
  mkdir -p "$work"
  # The sample documents seed the converter, after its options and printer bytes.
  if [ "$t" = convert ]; then
    for f in samples/*.txt; do
      { printf '\000\002'; cat "$f"; } >"$work/sample-$(basename "$f")"
    done
  fi
  echo "== $t: $SECONDS_EACH s"
  if ! "build/fuzz/fuzz/${t}_fuzz" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$t-" \
      "$work" "fuzz/corpus/$t" 2>"build/fuzz/$t.log"; then
    failed="$failed $t"
    tail -n 40 "build/fuzz/$t.log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: .*(DONE|INITED)' "build/fuzz/$t.log" | tail -n 3
done
if [ -n "$failed" ]; then
  echo "fuzz findings in:$failed (inputs in build/fuzz/artifacts)" >&2
  exit 1
fi
