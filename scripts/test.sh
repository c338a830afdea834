#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build and one under
# AddressSanitizer and UndefinedBehaviorSanitizer. Fails on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh browser

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp

status=0
for variant in normal sanitize; do
  dir=build
  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  if [ "$variant" = sanitize ]; then
    dir=build-asan
    opts=(-DCMAKE_BUILD_TYPE=Debug -DZOF_SANITIZE=ON)
  fi
  echo "== $variant build ($dir)"
  bash scripts/build.sh "$dir" "${opts[@]}"
  echo "== $variant tests"
  # The black-box tests mostly wait on sockets: more jobs than cores.
  if ! (cd "$dir" && ctest --output-on-failure -j "${ZOF_TEST_JOBS:-4}"); then
    status=1
  fi
done
exit $status
