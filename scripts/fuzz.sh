#!/usr/bin/env bash
# fuzz.sh [TARGET] [SECONDS]: builds the libFuzzer programs with clang in
# build-fuzz and runs a campaign of SECONDS (600 by default) for TARGET, or
# for every target in turn. Each campaign starts from the target's corpus in
# tests/fuzz/corpus/TARGET (left as it is) and keeps what it finds outside the
# repository, under $ZOF_FUZZ_OUT (default ~/.cache/zof-fuzz): the grown
# corpus in corpus/TARGET, crashing inputs in crashes/TARGET, the log in
# logs/TARGET.log. A crash ends that target's campaign. Prints per target the
# seconds run, the executions and the crashes; exits 1 when one was found.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
all=(vfsFormat httpHead httpPost macro tpl cfgText url)

target=${1:-all}
seconds=${2:-600}
if [ "$target" = all ]; then
  targets=("${all[@]}")
elif [[ " ${all[*]} " == *" $target "* ]]; then
  targets=("$target")
else
  echo "fuzz: unknown target '$target' (one of: ${all[*]})" >&2
  exit 2
fi
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz: seconds must be a positive number, not '$seconds'" >&2
  exit 2
fi

# The build tools and libraries, then clang (any version with libFuzzer).
bash "$root/scripts/setup.sh"
cxx=""
for c in clang++-14 clang++; do
  if command -v "$c" >/dev/null; then cxx=$c; break; fi
done
if [ -z "$cxx" ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "fuzz: installing clang" >&2
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  if ! $sudo apt-get install -y -qq --no-install-recommends clang-14 >&2; then
    $sudo apt-get install -y -qq --no-install-recommends clang >&2
  fi
  cxx=$(command -v clang++-14 || command -v clang++)
fi
cc=${cxx/clang++/clang}

export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
build="$root/build-fuzz"
if [ ! -f "$build/build.ninja" ]; then
  CC=$cc CXX=$cxx cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZOF_FUZZ=ON -DZOF_TESTS=OFF -DZOF_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${ZOF_JOBS:-2}" --target "${targets[@]/#/fuzz_}"

out="${ZOF_FUZZ_OUT:-${XDG_CACHE_HOME:-$HOME/.cache}/zof-fuzz}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}

summary=()
found=0
for t in "${targets[@]}"; do
  work="$out/corpus/$t" crashes="$out/crashes/$t" log="$out/logs/$t.log"
  mkdir -p "$work" "$crashes" "$(dirname "$log")"
  before=$(find "$crashes" -type f | sort)
  echo "== $t: ${seconds}s, log in $log"
  start=$(date +%s)
  # New inputs go to the first folder; the repository's corpus is only read.
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$crashes/" "$work" "$root/tests/fuzz/corpus/$t" >"$log" 2>&1 || true
  elapsed=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  # Crashes, timeouts, running out of memory and leaks alike.
  fresh=$(comm -13 <(echo "$before") <(find "$crashes" -type f | sort))
  new=$(grep -c . <<<"$fresh" || true)
  summary+=("$(printf '%-10s %8s %12s %8s' "$t" "$elapsed" "${execs:-?}" "$new")")
  if [ "$new" -gt 0 ]; then
    found=1
    grep -m 1 -E 'ERROR|fuzz check failed|runtime error|deadly signal' "$log" | sed 's/^/   /' || true
    sed 's/^/   /' <<<"$fresh"
  fi
done

printf '%-10s %8s %12s %8s\n' target seconds executions crashes
printf '%s\n' "${summary[@]}"
exit $found
