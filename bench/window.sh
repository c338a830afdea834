#!/usr/bin/env bash
# What the desktop window costs: the same zof binary serving a 1 KiB file,
# once with its window open on a virtual X server and once headless, both
# running side by side and taking turns on every row, ROUNDS rounds, the
# order swapped every round:
#   1 KiB file, keep-alive, 50 and 1000 connections (req/s, errors)
# The window shows every request in its log and connection views, so the
# rows measure the views as well as the server. The last column is the
# median of the paired ratios window/headless; the goal is at least 0.90.
# Environment: DURATION (wrk seconds, default 5), ROUNDS (default 5),
# THREADS (wrk threads), ZOF_BIN (a zof binary built with the window,
# instead of building a release one).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
rounds="${ROUNDS:-5}"
source "$here/servers.sh"
threads="${THREADS:-$default_threads}"
require_tools "$repo"
command -v Xvfb >/dev/null 2>&1 || bash "$repo/scripts/setup.sh"
choose_zof "$repo"

make_scratch zof-bench-window
data="$work/root/pub"
mkdir -p "$data"
head -c 1024 /dev/urandom >"$data/1k.bin"

# One virtual display for the window.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 3>"$work/display" &
pids+=("$!")
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -1 "$work/display")"

start_window() { # name
  local dir="$work/$1" port
  port="$(free_port)"
  mkdir -p "$dir/cfg" "$dir/xdg" "$dir/run"
  chmod 700 "$dir/run"
  DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$dir/xdg" XDG_RUNTIME_DIR="$dir/run" \
    ZOF_NO_SINGLE_INSTANCE=1 "${server_cpu[@]}" "$zof" -i "$dir/cfg" -c "port=$port" \
    -c "listen-on=127.0.0.1" -c "prevent-leeching=no" -c "add-folder-default=real" -c "quit-dont-ask=yes" \
    "$data" >"$dir/stdout.log" 2>"$dir/stderr.log" </dev/null &
  PID[$1]=$!; PORT[$1]=$port; pids+=("$!")
}

wrk_run() { # url connections -> "requests_per_second errors"
  local out rps errs
  out="$("${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s "$1" 2>&1)"
  rps="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  errs="$(awk '/Socket errors:/ {gsub(",","");for(i=1;i<=NF;i++) if($i ~ /^[0-9]+$/) s+=$i} /Non-2xx/ {s+=$NF} END {print s+0}' <<<"$out")"
  echo "${rps:-0} ${errs:-0}"
}

declare -A R
start_window window
start_zof_as headless "$zof" "$data" -c "add-folder-default=real"
for name in window headless; do
  wait_port "${PORT[$name]}" "/pub/1k.bin"
  wrk -t1 -c10 -d1s "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" >/dev/null 2>&1 || true
done
for round in $(seq 1 "$rounds"); do
  order="window headless"
  (( round % 2 == 0 )) && order="headless window"
  for conns in 50 1000; do
    echo "round $round: $conns connections..." >&2
    for name in $order; do
      read -r rate errs < <(wrk_run "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" "$conns")
      R[$name,$conns,all]="${R[$name,$conns,all]:-} $rate"
      R[$name,$conns,last]="$rate"
      R[$name,$conns,err]=$(( ${R[$name,$conns,err]:-0} + errs ))
    done
    R[pairs,$conns]="${R[pairs,$conns]:-} $(awk -v a="${R[window,$conns,last]}" -v b="${R[headless,$conns,last]}" \
      'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}')"
  done
done
for name in window headless; do
  kill -0 "${PID[$name]}" 2>/dev/null || { echo "$name zof died" >&2; cat "$work/$name/stderr.log" >&2; exit 1; }
done

echo
printf "%-32s %10s %10s %8s %8s %16s\n" "wrk ${duration}s x $rounds, $threads thr" "window" "headless" "err(w)" "err(h)" "window/headless"
for conns in 50 1000; do
  printf "%-32s %10s %10s %8s %8s %16s\n" "1 KiB, $conns conn (req/s)" \
    "$(median <<<"${R[window,$conns,all]}")" "$(median <<<"${R[headless,$conns,all]}")" \
    "${R[window,$conns,err]}" "${R[headless,$conns,err]}" \
    "$(median <<<"${R[pairs,$conns]}" | awk '{printf "%.2f", $1}')"
done
echo "peak memory VmHWM (KiB): window $(awk '/^VmHWM:/ {print $2}' "/proc/${PID[window]}/status")," \
  "headless $(awk '/^VmHWM:/ {print $2}' "/proc/${PID[headless]}/status")"
