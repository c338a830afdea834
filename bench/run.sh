#!/usr/bin/env bash
# Serves the same files from the HTTP core (zof-bench-core), nginx (one
# worker) and lighttpd, loads each with wrk and curl, and prints a table:
#   small file, keep-alive, 50 connections       (requests/s)
#   small file, keep-alive, 1000 connections     (requests/s, errors)
#   one 1 GiB download                           (MiB/s)
#   peak memory of the server process            (VmHWM, KiB)
# Every server runs on loopback with its own configuration in a temporary
# folder, and is stopped at the end.
# Environment: DURATION (wrk seconds, default 5), THREADS (wrk threads, default 2).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
threads="${THREADS:-2}"

source "$here/servers.sh"
require_tools "$repo"

build_release "$repo" zof-bench-core
core="$repo/build-bench/bench/zof-bench-core"

make_scratch zof-bench

data="$work/data"
mkdir -p "$data"
head -c 1024 /dev/urandom >"$data/1k.bin"
# Sparse: every server reads the same zero pages from the page cache.
truncate -s 1G "$data/1g.bin"

# wrk output -> "requests_per_second errors"
wrk_run() { # url connections
  local out rps errs
  out="$(wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s "$1" 2>&1)"
  rps="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  errs="$(awk '/Socket errors:/ {gsub(",","");for(i=1;i<=NF;i++) if($i ~ /^[0-9]+$/) s+=$i} /Non-2xx/ {s+=$NF} END {print s+0}' <<<"$out")"
  echo "${rps:-0} ${errs:-0}"
}

declare -A R
measure() { # name port pid
  local name="$1" port="$2" pid="$3" a b speed best
  wait_port "$port" /1k.bin
  # Warm the page cache and the server.
  wrk -t1 -c10 -d1s "http://127.0.0.1:$port/1k.bin" >/dev/null 2>&1 || true
  read -r a b < <(wrk_run "http://127.0.0.1:$port/1k.bin" 50)
  R[$name,rps50]="$a"; R[$name,err50]="$b"
  read -r a b < <(wrk_run "http://127.0.0.1:$port/1k.bin" 1000)
  R[$name,rps1000]="$a"; R[$name,err1000]="$b"
  # Best of three downloads: the machine may be busy with other work.
  best=0
  for _ in 1 2 3; do
    speed="$(curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$port/1g.bin")"
    best="$(awk -v a="$best" -v b="$speed" 'BEGIN {print (b > a) ? b : a}')"
  done
  R[$name,gib]="$(awk -v s="$best" 'BEGIN {printf "%.0f", s/1048576}')"
  R[$name,mem]="$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")"
}

stop_server() { # pid
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

echo "zof-bench-core..." >&2
port="$(free_port)"
"$core" "$data" "$port" 127.0.0.1 2>"$work/core.log" &
pid=$!; pids+=("$pid")
measure zof "$port" "$pid"
stop_server "$pid"

echo "nginx (1 worker)..." >&2
port="$(free_port)"
write_nginx_conf "$port" "$data"
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/stderr.log" &
pid=$!; pids+=("$pid")
measure nginx "$port" "$pid"
stop_server "$pid"

echo "lighttpd..." >&2
port="$(free_port)"
write_lighttpd_conf "$port" "$data"
lighttpd -D -f "$work/lighttpd/lighttpd.conf" 2>"$work/lighttpd/stderr.log" &
pid=$!; pids+=("$pid")
measure lighttpd "$port" "$pid"
stop_server "$pid"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() { # label key
  printf "%-34s %12s %12s %12s %10s %10s\n" "$1" "${R[zof,$2]}" "${R[nginx,$2]}" "${R[lighttpd,$2]}" \
    "$(ratio "${R[zof,$2]}" "${R[nginx,$2]}")" "$(ratio "${R[zof,$2]}" "${R[lighttpd,$2]}")"
}
echo
printf "%-34s %12s %12s %12s %10s %10s\n" "wrk ${duration}s, $threads threads" "zof-core" "nginx" "lighttpd" "zof/nginx" "zof/lighttpd"
row "1 KiB keep-alive, 50 conn (req/s)" rps50
row "  errors" err50
row "1 KiB keep-alive, 1000 conn (req/s)" rps1000
row "  errors" err1000
row "1 GiB download, best of 3 (MiB/s)" gib
row "peak memory VmHWM (KiB)" mem
