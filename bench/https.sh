#!/usr/bin/env bash
# ZOF over HTTPS against nginx (one worker) with the same certificate and
# key, serving the same folder, in one run:
#   1 KiB file, keep-alive, 50 connections (req/s, errors)
#   1 KiB file, a new TLS connection per request (req/s)
#   one 1 GiB download (MiB/s, best of DOWNLOADS)
# Loopback only; both servers have their configuration in a temporary folder
# and are stopped at the end. Whether zof sends large files through kernel
# TLS is printed from its log.
# Environment: DURATION (wrk seconds, default 5), ROUNDS (default 3),
# DOWNLOADS (default 5), THREADS, ZOF_BIN (a zof binary to use instead of
# building a release one).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
rounds="${ROUNDS:-3}"
downloads="${DOWNLOADS:-5}"
source "$here/servers.sh"
threads="${THREADS:-$default_threads}"
require_tools "$repo"
command -v openssl >/dev/null || bash "$repo/scripts/setup.sh"

choose_zof "$repo"
make_scratch zof-bench-https

data="$work/root/pub"
mkdir -p "$data"
head -c 1024 /dev/urandom >"$data/1k.bin"
truncate -s 1G "$data/1g.bin"

# One pair for both servers.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/key.pem" \
  -out "$work/cert.pem" -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -days 2 2>/dev/null
chmod 600 "$work/key.pem"

declare -A TLS
start_zof() {
  TLS[zof]="$(free_port)"
  start_zof_as zof "$zof" "$data" -c "https-port=${TLS[zof]}" -c "https-cert=$work/cert.pem" \
    -c "https-key=$work/key.pem"
}
start_nginx() {
  local port
  port="$(free_port)"
  TLS[nginx]="$(free_port)"
  write_nginx_conf "$port" "$work/root"
  # The same server block, on a TLS port as well.
  sed -i "s|    listen 127.0.0.1:$port;|&\n    listen 127.0.0.1:${TLS[nginx]} ssl;\n    ssl_certificate $work/cert.pem;\n    ssl_certificate_key $work/key.pem;\n    ssl_protocols TLSv1.2 TLSv1.3;|" \
    "$work/nginx/nginx.conf"
  "${server_cpu[@]}" nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/stderr.log" &
  PID[nginx]=$!; PORT[nginx]=$port; pids+=("$!")
}

wait_tls() { # port
  for _ in $(seq 1 200); do
    curl -s -o /dev/null --cacert "$work/cert.pem" "https://127.0.0.1:$1/pub/1k.bin" && return 0
    sleep 0.05
  done
  echo "no HTTPS on port $1" >&2
  return 1
}

wrk_rps() { # url connections [header] -> "requests_per_second errors"
  local out
  out="$("${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 5s ${3:+-H "$3"} "$1" 2>&1)"
  awk '/^Requests\/sec:/ {r=$2} /Socket errors:/ {gsub(",","");for(i=1;i<=NF;i++) if($i ~ /^[0-9]+$/) e+=$i}
       /Non-2xx/ {e+=$NF} END {print (r ? r : 0), e+0}' <<<"$out"
}

download() { # name -> MiB/s
  "${client_cpu[@]}" curl -s -o /dev/null --cacert "$work/cert.pem" -w '%{speed_download}' --max-time 120 \
    "https://127.0.0.1:${TLS[$1]}/pub/1g.bin" | awk '{printf "%.0f", $1 / 1048576}' || echo 0
}

servers=(zof nginx)
for name in "${servers[@]}"; do
  "start_$name"
  wait_tls "${TLS[$name]}"
done

declare -A R
for round in $(seq 1 "$rounds"); do
  echo "round $round..." >&2
  for name in "${servers[@]}"; do
    url="https://127.0.0.1:${TLS[$name]}/pub/1k.bin"
    read -r a b < <(wrk_rps "$url" 50)
    R[$name,ka]="${R[$name,ka]:-} $a"; R[$name,kaerr]=$(( ${R[$name,kaerr]:-0} + b ))
    read -r a b < <(wrk_rps "$url" 50 "Connection: close")
    R[$name,new]="${R[$name,new]:-} $a"; R[$name,newerr]=$(( ${R[$name,newerr]:-0} + b ))
  done
done
for round in $(seq 1 "$downloads"); do
  echo "1 GiB, round $round..." >&2
  for name in "${servers[@]}"; do R[$name,gib]="${R[$name,gib]:-} $(download "$name")"; done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() { # label zof nginx
  printf "%-44s %10s %10s %8s\n" "$1" "$2" "$3" "$(ratio "$2" "$3")"
}
best() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -1; }
echo
grep -h "HTTPS on port" "$work/zof/stdout.log" "$work/zof/stderr.log" | head -1 || true
printf "%-44s %10s %10s %8s\n" "HTTPS, wrk ${duration}s x $rounds, $threads thr" zof nginx /nginx
row "1 KiB, 50 conn, keep-alive (req/s)" "$(median <<<"${R[zof,ka]}")" "$(median <<<"${R[nginx,ka]}")"
row "  errors" "${R[zof,kaerr]}" "${R[nginx,kaerr]}"
row "1 KiB, 50 conn, new TLS session each (req/s)" "$(median <<<"${R[zof,new]}")" "$(median <<<"${R[nginx,new]}")"
row "  errors" "${R[zof,newerr]}" "${R[nginx,newerr]}"
row "1 GiB download, best of $downloads (MiB/s)" "$(best <<<"${R[zof,gib]}")" "$(best <<<"${R[nginx,gib]}")"
row "peak memory VmHWM (KiB)" "$(awk '/^VmHWM:/ {print $2}' "/proc/${PID[zof]}/status")" \
  "$(awk '/^VmHWM:/ {print $2}' "/proc/${PID[nginx]}/status")"
