#!/usr/bin/env bash
# ZOF serving a published folder, against nginx (one worker) and lighttpd
# serving the same folder, in one run:
#   1 KiB file, keep-alive, 50 and 1000 connections, with and without a
#   session cookie sent back as a browser does (req/s, errors)
#   one 1 GiB download (MiB/s, best of 3)
#   peak memory of the server process (VmHWM, KiB)
# Loopback only; every server has its configuration in a temporary folder
# and is stopped at the end.
# The three servers run side by side and take turns for ROUNDS rounds; every
# rate is the median of its rounds (the errors are added up).
# Environment: DURATION (wrk seconds, default 5), THREADS (wrk threads, default 1 when pinned, else 2),
# ROUNDS (default 3),
# ZOF_BIN (a zof binary to use instead of building a release one),
# ZOF_BASE (another zof binary, say the previous version, measured in the
# same rounds: the table gains a column of ZOF against it).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
rounds="${ROUNDS:-3}"
source "$here/servers.sh"
threads="${THREADS:-$default_threads}"
require_tools "$repo"

choose_zof "$repo"

make_scratch zof-bench-serve

# Every server publishes $work/root; the files are under /pub/.
data="$work/root/pub"
mkdir -p "$data"
head -c 1024 /dev/urandom >"$data/1k.bin"
truncate -s 1G "$data/1g.bin" # sparse: the same zero pages for everyone
cookie="Cookie: ZOF_SID_=9f1c0e5b7a2d4c68b3e1f0a9d8c7b6a5"


wrk_run() { # url connections [header] -> "requests_per_second errors"
  local out rps errs
  if [ -n "${3:-}" ]; then
    out="$("${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s -H "$3" "$1" 2>&1)"
  else
    out="$("${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s "$1" 2>&1)"
  fi
  rps="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  errs="$(awk '/Socket errors:/ {gsub(",","");for(i=1;i<=NF;i++) if($i ~ /^[0-9]+$/) s+=$i} /Non-2xx/ {s+=$NF} END {print s+0}' <<<"$out")"
  echo "${rps:-0} ${errs:-0}"
}

declare -A R

# One round of the request rows for one server: appends each rate to a list
# and adds the errors up.
measure_round() { # name port
  local name="$1" a b url="http://127.0.0.1:$2/pub/1k.bin" key conns hdr
  for key in rps50:50: rps50c:50:c rps1000:1000: rps1000c:1000:c; do
    IFS=: read -r key conns hdr <<<"$key"
    if [ -n "$hdr" ]; then
      read -r a b < <(wrk_run "$url" "$conns" "$cookie")
    else
      read -r a b < <(wrk_run "$url" "$conns")
    fi
    R[$name,$key,all]="${R[$name,$key,all]:-} $a"
    R[$name,${key/rps/err}]=$(( ${R[$name,${key/rps/err}]:-0} + b ))
  done
}

measure_download() { # name port pid
  local name="$1" port="$2" pid="$3" speed best=0
  for _ in 1 2 3; do
    speed="$("${client_cpu[@]}" curl -s -o /dev/null -w '%{speed_download}' --max-time 60 "http://127.0.0.1:$port/pub/1g.bin" || echo 0)"
    best="$(awk -v a="$best" -v b="$speed" 'BEGIN {print (b > a) ? b : a}')"
  done
  R[$name,gib]="$(awk -v s="$best" 'BEGIN {printf "%.0f", s/1048576}')"
  R[$name,mem]="$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")"
}

start_zof() { start_zof_as zof "$zof" "$data"; }
start_base() { start_zof_as base "$ZOF_BASE" "$data"; }
start_nginx() {
  local port
  port="$(free_port)"
  write_nginx_conf "$port" "$work/root"
  "${server_cpu[@]}" nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/stderr.log" &
  PID[nginx]=$!; PORT[nginx]=$port; pids+=("$!")
}
start_lighttpd() {
  local port
  port="$(free_port)"
  write_lighttpd_conf "$port" "$work/root"
  "${server_cpu[@]}" lighttpd -D -f "$work/lighttpd/lighttpd.conf" 2>"$work/lighttpd/stderr.log" &
  PID[lighttpd]=$!; PORT[lighttpd]=$port; pids+=("$!")
}

# All three run at once and take turns, round after round, so that a slow
# spell of the machine hits every server alike; each rate is the median of
# its rounds.
servers=(zof nginx lighttpd)
[ -n "${ZOF_BASE:-}" ] && servers+=(base)
for name in "${servers[@]}"; do
  "start_$name"
  wait_port "${PORT[$name]}" "/pub/1k.bin"
  wrk -t1 -c10 -d1s "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" >/dev/null 2>&1 || true
done
for round in $(seq 1 "$rounds"); do
  for name in "${servers[@]}"; do
    echo "round $round: $name..." >&2
    measure_round "$name" "${PORT[$name]}"
  done
done
for name in "${servers[@]}"; do
  for key in rps50 rps50c rps1000 rps1000c; do
    R[$name,$key]="$(median <<<"${R[$name,$key,all]}")"
  done
  echo "1 GiB: $name..." >&2
  measure_download "$name" "${PORT[$name]}" "${PID[$name]}"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() {
  printf "%-40s %10s %10s %10s %9s %9s" "$1" "${R[zof,$2]}" "${R[nginx,$2]}" "${R[lighttpd,$2]}" \
    "$(ratio "${R[zof,$2]}" "${R[nginx,$2]}")" "$(ratio "${R[zof,$2]}" "${R[lighttpd,$2]}")"
  [ -n "${ZOF_BASE:-}" ] && printf " %10s %9s" "${R[base,$2]}" "$(ratio "${R[zof,$2]}" "${R[base,$2]}")"
  echo
}
echo
printf "%-40s %10s %10s %10s %9s %9s" "wrk ${duration}s x $rounds, $threads thr" "zof" "nginx" "lighttpd" "/nginx" "/lighttpd"
[ -n "${ZOF_BASE:-}" ] && printf " %10s %9s" "base" "/base"
echo
row "1 KiB, 50 conn (req/s)" rps50
row "  errors" err50
row "1 KiB, 50 conn, session cookie (req/s)" rps50c
row "  errors" err50c
row "1 KiB, 1000 conn (req/s)" rps1000
row "  errors" err1000
row "1 KiB, 1000 conn, session cookie (req/s)" rps1000c
row "  errors" err1000c
row "1 GiB download, best of 3 (MiB/s)" gib
row "peak memory VmHWM (KiB)" mem
