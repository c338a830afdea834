#!/usr/bin/env bash
# Two zof binaries, say before and after a change, on the same requests:
#   1 KiB file, keep-alive, 50 and 1000 connections, with and without a
#   session cookie
#   a folder page of FILES files at 10 connections
#   a 1 GiB download by one client (MiB/s)
# Both servers run side by side. Each round measures every row on A and on B
# back to back (the order swaps every round), and the ratio A/B of that pair
# is kept: a slow spell of the machine then hits both halves of a pair alike.
# The table gives the median rates and the median and spread of the paired
# ratios. One binary against itself shows the noise floor.
# Usage: bench/ab.sh A B
# Environment: DURATION (wrk seconds per measurement, default 3),
# ROUNDS (default 7), FILES (default 2000), THREADS (wrk threads),
# ROWS (some of: k50 k50c k1000 k1000c page10 gib; default all).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
[ $# -eq 2 ] || { echo "usage: $0 binary-A binary-B" >&2; exit 2; }
a_bin="$(realpath "$1")"
b_bin="$(realpath "$2")"
duration="${DURATION:-3}"
rounds="${ROUNDS:-7}"
nfiles="${FILES:-2000}"
source "$here/servers.sh"
threads="${THREADS:-$default_threads}"
require_tools "$repo"

make_scratch zof-bench-ab

data="$work/root/pub"
mkdir -p "$data/list"
head -c 1024 /dev/urandom >"$data/1k.bin"
truncate -s 1G "$data/1g.bin" # sparse: the same zero pages for both
for i in $(seq 1 "$nfiles"); do : >"$data/list/file $i.txt"; done
cookie="Cookie: ZOF_SID_=9f1c0e5b7a2d4c68b3e1f0a9d8c7b6a5"

rate() { # url connections [header] -> 2xx replies per second
  "${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s ${3:+-H "$3"} "$1" 2>&1 |
    awk '/ requests in / {n=$1; t=$4; gsub(/[^0-9.]/,"",t)} /Non-2xx/ {bad=$NF}
         END {printf "%.1f", (t > 0) ? (n - bad) / t : 0}'
}

read -r -a rows <<<"${ROWS:-k50 k50c k1000 k1000c page10 gib}"
declare -A TITLE=(
  [k50]="1 KiB, 50 conn" [k50c]="1 KiB, 50 conn, cookie"
  [k1000]="1 KiB, 1000 conn" [k1000c]="1 KiB, 1000 conn, cookie"
  [page10]="folder page, 10 conn" [gib]="1 GiB download (MiB/s)")
measure() { # name row
  local port="${PORT[$1]}"
  case "$2" in
    k50) rate "http://127.0.0.1:$port/pub/1k.bin" 50 ;;
    k50c) rate "http://127.0.0.1:$port/pub/1k.bin" 50 "$cookie" ;;
    k1000) rate "http://127.0.0.1:$port/pub/1k.bin" 1000 ;;
    k1000c) rate "http://127.0.0.1:$port/pub/1k.bin" 1000 "$cookie" ;;
    page10) rate "http://127.0.0.1:$port/pub/list/" 10 ;;
    gib) "${client_cpu[@]}" curl -s -o /dev/null -w '%{speed_download}' --max-time 60 \
           "http://127.0.0.1:$port/pub/1g.bin" | awk '{printf "%.0f", $1 / 1048576}' ;;
  esac
}

for name in a b; do
  var="${name}_bin"
  start_zof_as "$name" "${!var}" "$data"
  wait_port "${PORT[$name]}" "/pub/1k.bin"
  wrk -t1 -c10 -d1s "http://127.0.0.1:${PORT[$name]}/pub/list/" >/dev/null 2>&1 || true
done

declare -A R
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds..." >&2
  for row in "${rows[@]}"; do
    if (( round % 2 )); then order=(a b); else order=(b a); fi
    for name in "${order[@]}"; do R[$name,$row]="$(measure "$name" "$row")"; done
    R[ratios,$row]="${R[ratios,$row]:-} $(awk -v a="${R[a,$row]}" -v b="${R[b,$row]}" 'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}')"
    R[a,$row,all]="${R[a,$row,all]:-} ${R[a,$row]}"
    R[b,$row,all]="${R[b,$row,all]:-} ${R[b,$row]}"
  done
done

# The lowest and highest of the middle half of the numbers on standard input.
quartiles() { tr ' ' '\n' | grep -v '^$' | sort -g |
  awk '{v[NR]=$1} END {printf "%.2f-%.2f", v[int((NR+3)/4)], v[int((3*NR+3)/4)]}'; }

echo
echo "A: $a_bin"
echo "B: $b_bin"
printf "%-28s %10s %10s %8s %12s\n" "wrk ${duration}s x $rounds pairs" "A" "B" "A/B" "middle half"
for row in "${rows[@]}"; do
  printf "%-28s %10.0f %10.0f %8.2f %12s\n" "${TITLE[$row]}" \
    "$(median <<<"${R[a,$row,all]}")" "$(median <<<"${R[b,$row,all]}")" \
    "$(median <<<"${R[ratios,$row]}")" "$(quartiles <<<"${R[ratios,$row]}")"
done
for name in a b; do
  R[$name,mem]="$(awk '/^VmHWM:/ {print $2}' "/proc/${PID[$name]}/status")"
done
printf "%-28s %10s %10s %8.2f\n" "peak memory VmHWM (KiB)" "${R[a,mem]}" "${R[b,mem]}" \
  "$(awk -v a="${R[a,mem]}" -v b="${R[b,mem]}" 'BEGIN {print a / b}')"
