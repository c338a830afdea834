#!/usr/bin/env bash
# Sets up, builds and runs ZOF headless. Arguments go to zof as they are:
# folders and files to publish, and switches such as "-c port=8080".
# Without arguments the current folder is published.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
# The program alone, apart from the test build: no tests, no manual page.
ZOF_BUILD_TARGET=zof bash "$root/scripts/build.sh" "$root/build-release" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZOF_TESTS=OFF -DZOF_BENCH=OFF -DZOF_UNITY=OFF >&2
[ $# -eq 0 ] && set -- "$PWD"
exec "$root/build-release/src/main/zof" --headless "$@"
