#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build and one under
# AddressSanitizer and UndefinedBehaviorSanitizer. Fails on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh browser

# The compiler cache stays in the user's cache folder between runs.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp

# The black-box tests mostly wait on sockets: more jobs than the two cores
# (three ran as fast as four; the Chromium and timed files set the pace).
jobs=${ZOF_TEST_JOBS:-3}

status=0
for variant in normal sanitize; do
  # The benchmarks are not tests: left out.
  dir=build
  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOF_BENCH=OFF)
  if [ "$variant" = sanitize ]; then
    # -O1: the tests run much faster than in an unoptimised build, and
    # the sanitizers still report each fault with its place; line tables
    # (-g1) are all their reports need.
    dir=build-asan
    opts=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DZOF_SANITIZE=ON -DZOF_BENCH=OFF)
  fi
  echo "== $variant build ($dir)"
  bash scripts/build.sh "$dir" "${opts[@]}"
  echo "== $variant tests"
  if ! (cd "$dir" && ctest --output-on-failure -j "$jobs"); then
    status=1
  fi
done
exit $status
