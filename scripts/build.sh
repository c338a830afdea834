#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures (once) and builds ZOF in DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
fi
cmake --build "$dir" -j "${ZOF_JOBS:-2}"
