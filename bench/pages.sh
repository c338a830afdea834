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
# same run: the table gains a column of ZOF against it),
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

# One round for one server: the time one client takes for one page, seven
# times without contention for the build slots, then the loaded rows; every
# value is appended to its list and the errors are added up.
measure_round() { # name port
  local name="$1" c a b url="http://127.0.0.1:$2$url_path"
  R[$name,ms,all]="${R[$name,ms,all]:-} $(for _ in $(seq 1 7); do "${client_cpu[@]}" curl -s -o /dev/null -w '%{time_total} ' "$url"; done)"
  for c in $conns; do
    read -r a b < <(wrk_pages "$url" "$c")
    R[$name,p$c,all]="${R[$name,p$c,all]:-} $a"
    R[$name,e$c]=$(( ${R[$name,e$c]:-0} + b ))
  done
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

# All servers run at once and take turns, round after round, so that a slow
# spell of the machine (or the start of a run) hits every server alike; each
# rate is the median of its rounds.
servers=()
for name in zof nginx lighttpd; do
  if [ -z "$only" ] || [ "$only" = "$name" ]; then servers+=("$name"); fi
done
if [ -n "${ZOF_BASE:-}" ] && { [ -z "$only" ] || [ "$only" = base ]; }; then servers+=(base); fi
for name in "${servers[@]}"; do
  "start_$name"
  wait_port "${PORT[$name]}" "$url_path"
  wrk -t1 -c2 -d1s "http://127.0.0.1:${PORT[$name]}$url_path" >/dev/null 2>&1 || true
done
for name in "${servers[@]}"; do
  measure_single "$name" "${PORT[$name]}"
done
for round in $(seq 1 "$rounds"); do
  for name in "${servers[@]}"; do
    echo "round $round: $name..." >&2
    measure_round "$name" "${PORT[$name]}"
  done
done
for name in "${servers[@]}"; do
  for c in $conns; do
    R[$name,p$c]="$(median <<<"${R[$name,p$c,all]}")"
  done
  R[$name,ms]="$(median <<<"${R[$name,ms,all]}" | awk '{printf "%.1f", $1 * 1000}')"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.2f", a / b; else print "-" }'; }
row() {
  printf "%-34s %10s %10s %10s %9s %9s" "$1" "${R[zof,$2]:--}" "${R[nginx,$2]:--}" "${R[lighttpd,$2]:--}" \
    "$(ratio "${R[zof,$2]:-}" "${R[nginx,$2]:-}")" "$(ratio "${R[zof,$2]:-}" "${R[lighttpd,$2]:-}")"
  [ -n "${ZOF_BASE:-}" ] && printf " %10s %9s" "${R[base,$2]:--}" "$(ratio "${R[zof,$2]:-}" "${R[base,$2]:-}")"
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
