#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build and one under
# AddressSanitizer and UndefinedBehaviorSanitizer. Fails on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh browser package

# The compiler cache stays in the user's cache folder between runs.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp

# The black-box tests mostly wait on sockets: more jobs than the two cores
# (three ran as fast as four; the Chromium and timed files set the pace).
jobs=${ZOF_TEST_JOBS:-3}

# The benchmarks are not tests: left out. Each module compiles as one file.
# Line tables (-g1) are all a failing test's backtrace needs: a fifth less
# compiling than full debugging information, and a third of the disk.
normal=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DZOF_BENCH=OFF -DZOF_UNITY=ON -DZOF_GUI=ON)
# -O1: the tests run much faster than in an unoptimised build, and the
# sanitizers still report each fault with its place; line tables (-g1) are
# all their reports need.
sanitize=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DZOF_SANITIZE=ON -DZOF_BENCH=OFF -DZOF_UNITY=ON -DZOF_GUI=ON)

status=0
echo "== normal build (build)"
bash scripts/build.sh build "${normal[@]}"

# The sanitizer build compiles while the normal tests run, at the lowest
# priority: the tests mostly wait on sockets and timers, and nice 19 leaves
# them the cores whenever they want them.
mkdir -p build-asan
nice -n 19 bash scripts/build.sh build-asan "${sanitize[@]}" >build-asan/build.log 2>&1 &
sanitize_build=$!
trap 'kill "$sanitize_build" 2>/dev/null || true' EXIT

echo "== normal tests"
if ! (cd build && ctest --output-on-failure -j "$jobs"); then
  status=1
fi

echo "== sanitize build (build-asan)"
if ! wait "$sanitize_build"; then
  cat build-asan/build.log
  echo "test: the sanitizer build failed" >&2
  exit 1
fi
grep -v '^\[[0-9]*/[0-9]*\] ' build-asan/build.log || true
echo "== sanitize tests"
if ! (cd build-asan && ctest --output-on-failure -j "$jobs"); then
  status=1
fi
exit $status
