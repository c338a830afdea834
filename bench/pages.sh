#!/usr/bin/env bash
# Folder pages: one folder of 2,000 files listed by ZOF (its default
# template), by nginx's autoindex (one worker) and by lighttpd's dir-listing,
# in one run:
#   pages per second at 10 and 50 keep-alive connections (only complete 2xx
#   pages count: a "server busy" reply is not a page)
#   the time one page takes for a single client (median of 7 per round)
#   ratio of ZOF to nginx and to lighttpd
#   size in bytes of one page from each server
# Loopback only; every server has its configuration in a temporary folder
# and is stopped at the end.
# Environment: DURATION (wrk seconds, default 5), THREADS (wrk threads, default 1 when pinned, else 2),
# FILES (files in the folder, default 2000), CONNS (default "10 50"),
# ROUNDS (turns each server takes at the loaded rows, default 3; each rate
# is the median of its rounds),
# ZOF_BIN (a zof binary to use instead of building a release one),
# ZOF_BASE (another zof binary, say the previous version, measured in the
# same rounds, next to ZOF: the table gains its column and the median of the
# paired ratios ZOF/base),
# ONLY (run just one server: zof, nginx or lighttpd; for profiling).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
duration="${DURATION:-5}"
nfiles="${FILES:-2000}"
conns="${CONNS:-10 50}"
rounds="${ROUNDS:-3}"
only="${ONLY:-}"
source "$here/servers.sh"
threads="${THREADS:-$default_threads}"
require_tools "$repo"

choose_zof "$repo"

make_scratch zof-bench-pages

# Every server publishes $work/root; the folder listed is /pub/. Names mix
# lengths, extensions and characters that need escaping in a page or a URL;
# sizes vary so that size formatting is exercised.
data="$work/root/pub"
mkdir -p "$data"
python3 - "$data" "$nfiles" <<'EOF'
import os, sys
folder, n = sys.argv[1], int(sys.argv[2])
exts = [".txt", ".jpg", ".mp3", ".pdf", ".tar.gz", ".html", ".c", ""]
words = ["report", "holiday photo", "track", "notes & ideas", "archive", "index", "main", "readme"]
for i in range(n):
    name = "%s %04d%s" % (words[i % len(words)], i, exts[(i // 3) % len(exts)])
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"x" * ((i * 7919) % 5000))
EOF
url_path="/pub/"


# -> "pages_per_second bad_replies": complete 2xx replies per second of the run.
wrk_pages() { # url connections
  local out
  out="$("${client_cpu[@]}" wrk -t"$threads" -c"$2" -d"${duration}s" --timeout 10s "$1" 2>&1)"
  awk '
    / requests in / { n = $1; t = $4; sub(/,$/, "", t)
      if (t ~ /ms$/) { sub(/ms$/, "", t); t /= 1000 } else if (t ~ /m$/) { sub(/m$/, "", t); t *= 60 } else sub(/s$/, "", t) }
    /Socket errors:/ { gsub(",", ""); for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) bad += $i }
    /Non-2xx/ { bad += $NF; non2xx += $NF }
    END { ok = n - non2xx; if (t > 0) printf "%.0f %d\n", ok / t, bad + 0; else print "0 " bad + 0 }
  ' <<<"$out"
}

declare -A R

# Once per server: the page's size and status.
measure_single() { # name port
  local name="$1" url="http://127.0.0.1:$2$url_path"
  R[$name,size]="$("${client_cpu[@]}" curl -s -o /dev/null -w '%{size_download}' "$url")"
  R[$name,code]="$("${client_cpu[@]}" curl -s -o /dev/null -w '%{http_code}' "$url")"
}

# One row for one server. "ms": the time one client takes for one page,
# seven times without contention (the median of the seven); "pN": pages per
# second at N connections, the errors added up. Each value is appended to its
# list.
measure_row() { # name row
  local name="$1" a b url="http://127.0.0.1:${PORT[$1]}$url_path"
  if [ "$2" = ms ]; then
    a="$(for _ in $(seq 1 7); do "${client_cpu[@]}" curl -s -o /dev/null -w '%{time_total} ' "$url"; done | median)"
  else
    read -r a b < <(wrk_pages "$url" "${2#p}")
    R[$name,e${2#p}]=$(( ${R[$name,e${2#p}]:-0} + b ))
  fi
  R[$name,$2,all]="${R[$name,$2,all]:-} $a"
  R[$name,$2,last]="$a"
}

start_zof() { start_zof_as zof "$zof" "$data"; }
start_base() { start_zof_as base "$ZOF_BASE" "$data"; }
start_nginx() {
  local port
  port="$(free_port)"
  write_nginx_conf "$port" "$work/root"
  sed -i "s|^    root .*;|&\n    autoindex on;|" "$work/nginx/nginx.conf"
  "${server_cpu[@]}" nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/stderr.log" &
  pids+=("$!"); PORT[nginx]=$port
}
start_lighttpd() {
  local port
  port="$(free_port)"
  write_lighttpd_conf "$port" "$work/root"
  cat >>"$work/lighttpd/lighttpd.conf" <<EOF
server.modules += ( "mod_dirlisting" )
dir-listing.activate = "enable"
dir-listing.encoding = "utf-8"
EOF
  "${server_cpu[@]}" lighttpd -D -f "$work/lighttpd/lighttpd.conf" 2>"$work/lighttpd/stderr.log" &
  pids+=("$!"); PORT[lighttpd]=$port
}

# All servers run at once and every row is measured on each of them back to
# back, round after round, so that a slow spell of the machine (or the start
# of a run) hits every server alike; each rate is the median of its rounds.
# With a base binary, zof and base are measured next to each other, in an
# order that swaps every round, and the /base column is the median of those
# paired ratios.
servers=()
for name in zof base nginx lighttpd; do
  [ "$name" = base ] && [ -z "${ZOF_BASE:-}" ] && continue
  if [ -z "$only" ] || [ "$only" = "$name" ]; then servers+=("$name"); fi
done
for name in "${servers[@]}"; do
  "start_$name"
  wait_port "${PORT[$name]}" "$url_path"
  wrk -t1 -c2 -d1s "http://127.0.0.1:${PORT[$name]}$url_path" >/dev/null 2>&1 || true
done
for name in "${servers[@]}"; do
  measure_single "$name" "${PORT[$name]}"
done
paired() { [ -n "${ZOF_BASE:-}" ] && [ -n "${PORT[zof]:-}" ] && [ -n "${PORT[base]:-}" ]; }
in_order() { # round -> the servers, zof and base swapped on even rounds
  if (( $1 % 2 == 0 )) && paired; then
    local name; for name in "${servers[@]}"; do
      case "$name" in zof) echo base ;; base) echo zof ;; *) echo "$name" ;; esac
    done
  else echo "${servers[@]}"; fi
}
rows=(ms); for c in $conns; do rows+=("p$c"); done
for round in $(seq 1 "$rounds"); do
  for row in "${rows[@]}"; do
    echo "round $round: $row..." >&2
    for name in $(in_order "$round"); do measure_row "$name" "$row"; done
    if paired; then
      R[pairs,$row]="${R[pairs,$row]:-} $(awk -v a="${R[zof,$row,last]}" -v b="${R[base,$row,last]}" 'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}')"
    fi
  done
done
for name in "${servers[@]}"; do
  for c in $conns; do
    R[$name,p$c]="$(median <<<"${R[$name,p$c,all]}")"
  done
  R[$name,ms]="$(median <<<"${R[$name,ms,all]}" | awk '{printf "%.1f", $1 * 1000}')"
done

# zof against base: the median of the paired ratios where there are pairs.
base_ratio() { # key
  if [ -n "${R[pairs,$1]:-}" ]; then median <<<"${R[pairs,$1]}" | awk '{printf "%.2f", $1}'
  else ratio "${R[zof,$1]:-}" "${R[base,$1]:-}"; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.2f", a / b; else print "-" }'; }
row() {
  printf "%-34s %10s %10s %10s %9s %9s" "$1" "${R[zof,$2]:--}" "${R[nginx,$2]:--}" "${R[lighttpd,$2]:--}" \
    "$(ratio "${R[zof,$2]:-}" "${R[nginx,$2]:-}")" "$(ratio "${R[zof,$2]:-}" "${R[lighttpd,$2]:-}")"
  if [ -n "${ZOF_BASE:-}" ]; then printf " %10s %9s" "${R[base,$2]:--}" "$(base_ratio "$2")"; fi
  echo
}
echo
printf "%-34s %10s %10s %10s %9s %9s" "$nfiles files, wrk ${duration}s x $rounds, $threads thr" "zof" "nginx" "lighttpd" "/nginx" "/lighttpd"
[ -n "${ZOF_BASE:-}" ] && printf " %10s %9s" "base" "/base"
echo
for c in $conns; do
  row "folder page, $c conn (pages/s)" "p$c"
  row "  errors and non-2xx" "e$c"
done
row "one page, one client (ms, median)" ms
row "page size (bytes)" size
row "status of one page" code
