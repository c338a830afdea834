#!/usr/bin/env bash
# ZOF serving a published folder, against nginx (one worker) and lighttpd
# serving the same folder, in one run:
#   1 KiB file, keep-alive, 50 and 1000 connections, with and without a
#   session cookie sent back as a browser does (req/s, errors)
#   one 1 GiB download (MiB/s, best of DOWNLOADS)
#   peak memory of the server process (VmHWM, KiB)
# Loopback only; every server has its configuration in a temporary folder
# and is stopped at the end.
# The servers run side by side and take turns on every row for ROUNDS
# rounds; every rate is the median of its rounds (the errors are added up).
# Environment: DURATION (wrk seconds, default 5), THREADS (wrk threads, default 1 when pinned, else 2),
# ROUNDS (default 3), DOWNLOADS (1 GiB downloads per server, default 9),
# ZOF_BIN (a zof binary to use instead of building a release one),
# ZOF_ACCESS_LOG (an access-log format, say the combined one: zof writes that
# log to a file in the scratch folder; without ZOF_BASE, the base is the same
# binary without it, so /base is the rate with the log over the rate without),
# ZOF_BASE (another zof binary, say the previous version, measured in the
# same rounds, next to ZOF: the table gains its column and the median of the
# paired ratios ZOF/base).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
rounds="${ROUNDS:-3}"
downloads="${DOWNLOADS:-9}"
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

# One row for one server: appends the rate to its list and adds the errors up.
measure_row() { # name row
  local name="$1" url="http://127.0.0.1:${PORT[$1]}/pub/1k.bin" key conns hdr a b
  IFS=: read -r key conns hdr <<<"$2"
  if [ -n "$hdr" ]; then
    read -r a b < <(wrk_run "$url" "$conns" "$cookie")
  else
    read -r a b < <(wrk_run "$url" "$conns")
  fi
  R[$name,$key,all]="${R[$name,$key,all]:-} $a"
  R[$name,${key/rps/err}]=$(( ${R[$name,${key/rps/err}]:-0} + b ))
  R[$name,$key,last]="$a"
}

download() { # name -> MiB/s
  "${client_cpu[@]}" curl -s -o /dev/null -w '%{speed_download}' --max-time 60 \
    "http://127.0.0.1:${PORT[$1]}/pub/1g.bin" | awk '{printf "%.0f", $1 / 1048576}' || echo 0
}

zof_switches=()
if [ -n "${ZOF_ACCESS_LOG:-}" ]; then
  zof_switches=(-c "log-file-name=$work/zof/access.log" -c "log-apache-format=$ZOF_ACCESS_LOG")
  ZOF_BASE="${ZOF_BASE:-$zof}"
fi
start_zof() { start_zof_as zof "$zof" "$data" "${zof_switches[@]}"; }
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

# All servers run at once and every row is measured on each of them back to
# back, round after round, so that a slow spell of the machine hits every
# server alike; each rate is the median of its rounds. With a base binary,
# zof and base are measured next to each other, in an order that swaps every
# round, and the /base column is the median of those paired ratios.
servers=(zof nginx lighttpd)
[ -n "${ZOF_BASE:-}" ] && servers=(zof base nginx lighttpd)
for name in "${servers[@]}"; do
  "start_$name"
  wait_port "${PORT[$name]}" "/pub/1k.bin"
  wrk -t1 -c10 -d1s "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" >/dev/null 2>&1 || true
done
in_order() { # round -> the servers, zof and base swapped on even rounds
  if (( $1 % 2 == 0 )) && [ -n "${ZOF_BASE:-}" ]; then echo base zof nginx lighttpd; else echo "${servers[@]}"; fi
}
pair_ratio() { # key value-zof value-base
  R[pairs,$1]="${R[pairs,$1]:-} $(awk -v a="$2" -v b="$3" 'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}')"
}
for round in $(seq 1 "$rounds"); do
  for row in rps50:50: rps50c:50:c rps1000:1000: rps1000c:1000:c; do
    echo "round $round: ${row%%:*}..." >&2
    for name in $(in_order "$round"); do measure_row "$name" "$row"; done
    key="${row%%:*}"
    if [ -n "${ZOF_BASE:-}" ]; then pair_ratio "$key" "${R[zof,$key,last]}" "${R[base,$key,last]}"; fi
  done
done
for key in rps50 rps50c rps1000 rps1000c; do
  for name in "${servers[@]}"; do R[$name,$key]="$(median <<<"${R[$name,$key,all]}")"; done
done
for round in $(seq 1 "$downloads"); do
  echo "1 GiB, round $round..." >&2
  for name in $(in_order "$round"); do
    R[$name,gib,last]="$(download "$name")"
    R[$name,gib,all]="${R[$name,gib,all]:-} ${R[$name,gib,last]}"
  done
  if [ -n "${ZOF_BASE:-}" ]; then pair_ratio gib "${R[zof,gib,last]}" "${R[base,gib,last]}"; fi
done
for name in "${servers[@]}"; do
  R[$name,gib]="$(tr ' ' '\n' <<<"${R[$name,gib,all]}" | sort -g | tail -1)"
  R[$name,mem]="$(awk '/^VmHWM:/ {print $2}' "/proc/${PID[$name]}/status")"
done

# zof against base: the median of the paired ratios where there are pairs.
base_ratio() { # key
  if [ -n "${R[pairs,$1]:-}" ]; then median <<<"${R[pairs,$1]}" | awk '{printf "%.2f", $1}'
  else ratio "${R[zof,$1]}" "${R[base,$1]}"; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() {
  printf "%-40s %10s %10s %10s %9s %9s" "$1" "${R[zof,$2]}" "${R[nginx,$2]}" "${R[lighttpd,$2]}" \
    "$(ratio "${R[zof,$2]}" "${R[nginx,$2]}")" "$(ratio "${R[zof,$2]}" "${R[lighttpd,$2]}")"
  if [ -n "${ZOF_BASE:-}" ]; then
    printf " %10s %9s" "${R[base,$2]}" "$(base_ratio "$2")"
  fi
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
row "1 GiB download, best of $downloads (MiB/s)" gib
row "peak memory VmHWM (KiB)" mem
if [ -n "${ZOF_ACCESS_LOG:-}" ]; then
  echo "zof wrote its access log ($(wc -l <"$work/zof/access.log") lines): \"$ZOF_ACCESS_LOG\""
fi
