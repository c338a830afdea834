#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds ZOF in DIR. Options
# given for a folder configured before are applied to it. ZOF_BUILD_TARGET
# names one target to build instead of all of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake -S "$root" -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j "${ZOF_JOBS:-2}" ${ZOF_BUILD_TARGET:+--target "$ZOF_BUILD_TARGET"}
