#!/usr/bin/env bash
# ZOF serving a published folder, against nginx (one worker) and lighttpd
# serving the same folder, in one run:
#   1 KiB file, keep-alive, 50 and 1000 connections, with and without a
#   session cookie sent back as a browser does (req/s, errors)
#   one 1 GiB download (MiB/s, best of DOWNLOADS)
#   1 KiB file, 50 connections, with an access log in the combined format
#   written to a file (a second instance of each server, started next to the
#   first; the ordinary rows stay log-free); the lines each log got
#   1 KiB file, 50 connections while IDLE other keep-alive connections are
#   held open and silent by bench/idle.py (each made one request); the rate
#   over the same server's rate without them just before, and how many were
#   held
#   mixed load: wrk at 50 connections rotating over a folder page (200
#   files) and small files while curl downloads the 1 GiB file again and
#   again (req/s of wrk, MiB/s of the downloads)
#   memory of the server process (VmHWM, KiB): after start and one request,
#   after the 1000-connection rows, and at the end (after the idle rows)
# Loopback only; every server has its configuration in a temporary folder
# and is stopped at the end.
# The servers run side by side and take turns on every row for ROUNDS
# rounds; every rate is the median of its rounds (the errors are added up).
# Environment: DURATION (wrk seconds, default 5), THREADS (wrk threads, default 1 when pinned, else 2),
# ROUNDS (default 3), DOWNLOADS (1 GiB downloads per server, default 9),
# IDLE (idle connections held at the idle row, default 10000),
# SKIP (rows left out, any of "log idle mixed", say SKIP="idle mixed"),
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
idle="${IDLE:-10000}"
skip=" ${SKIP:-} "
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
combined='%h %l %u %t "%r" %>s %b "%{Referer}i" "%{User-agent}i"'
wanted() { [[ "$skip" != *" $1 "* ]]; }

# The mixed row: /mix/ holds 200 files of 1 to 16 KiB; wrk asks for its
# folder page, then seven of its files, and again.
mix="$work/root/mix"
mkdir -p "$mix"
for i in $(seq -w 1 200); do head -c "$(( (10#$i * 7919 % 16) * 1024 + 1024 ))" /dev/urandom >"$mix/file-$i.txt"; done
cat >"$work/mixed.lua" <<'EOF'
local paths = {"/mix/", "/mix/file-001.txt", "/mix/file-017.txt", "/mix/file-042.txt",
  "/mix/file-077.txt", "/mix/file-103.txt", "/mix/file-150.txt", "/mix/file-199.txt"}
local i = 0
request = function()
  i = i % #paths + 1
  return wrk.format(nil, paths[i])
end
EOF


wrk_run() { # url connections [wrk options...] -> "requests_per_second errors"
  local out rps errs url="$1" conns="$2"
  shift 2
  out="$("${client_cpu[@]}" wrk -t"$threads" -c"$conns" -d"${duration}s" --timeout 5s "$@" "$url" 2>&1)"
  rps="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  errs="$(awk '/Socket errors:/ {gsub(",","");for(i=1;i<=NF;i++) if($i ~ /^[0-9]+$/) s+=$i} /Non-2xx/ {s+=$NF} END {print s+0}' <<<"$out")"
  echo "${rps:-0} ${errs:-0}"
}

declare -A R

# Appends a value to the list of one server's row; "last" keeps the newest.
add() { # name key value
  R[$1,$2,all]="${R[$1,$2,all]:-} $3"
  R[$1,$2,last]="$3"
}

# One row for one server: appends the rate to its list and adds the errors
# up. The row is "key:connections:c" (c: with the session cookie); with an
# instance, the requests go to that one (the server's logging twin).
measure_row() { # name row [instance]
  local name="$1" url="http://127.0.0.1:${PORT[${3:-$1}]}/pub/1k.bin" key conns hdr a b
  IFS=: read -r key conns hdr <<<"$2"
  if [ -n "$hdr" ]; then
    read -r a b < <(wrk_run "$url" "$conns" -H "$cookie")
  else
    read -r a b < <(wrk_run "$url" "$conns")
  fi
  add "$name" "$key" "$a"
  R[$name,${key/rps/err}]=$(( ${R[$name,${key/rps/err}]:-0} + b ))
}

vmhwm() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }

# The idle row for one server: wrk measures 50 connections alone, then
# idle.py opens $idle connections, each makes one request and then stays
# silent, and wrk measures the 50 beside them; the ratio of the two runs,
# back to back, is kept for the round. The counts held are kept too: a
# server that cannot hold them all shows.
idle_row() { # name
  local name="$1" out="$work/idle-$1.out" err="$work/idle-$1.err" hp a b a0 held still
  read -r a0 _ < <(wrk_run "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" 50)
  # Emptied here: the previous round's "held" must not be read before the
  # new holder has truncated its output.
  : >"$out"
  "${client_cpu[@]}" python3 "$here/idle.py" --timeout 60 "${PORT[$name]}" /pub/1k.bin "$idle" >"$out" 2>"$err" &
  hp=$!; pids+=("$hp")
  while kill -0 "$hp" 2>/dev/null && ! grep -q '^held' "$out"; do sleep 0.1; done
  read -r a b < <(wrk_run "http://127.0.0.1:${PORT[$name]}/pub/1k.bin" 50)
  kill -TERM "$hp" 2>/dev/null || true
  wait "$hp" || true
  held="$(awk '$1 == "held" {print $2}' "$out")"
  still="$(awk '$1 == "still" {print $2}' "$out")"
  if [ -s "$err" ]; then sed "s/^/$name: /" "$err" >&2; fi
  add "$name" idle "$a"
  add "$name" idler "$(awk -v a="$a" -v b="$a0" 'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}')"
  R[$name,erridle]=$(( ${R[$name,erridle]:-0} + b ))
  add "$name" held "${held:-0}"
  add "$name" still "${still:-0}"
  sleep 0.5 # the server drops the reset connections before the next one is measured
}

# The mixed row for one server: wrk rotates over the folder page and small
# files while curl downloads the 1 GiB file again and again for as long.
mixed_row() { # name
  local name="$1" base="http://127.0.0.1:${PORT[$1]}" dl="$work/mixed-$1.dl" dp a b
  (
    end="$(date +%s.%N | awk -v d="$duration" '{printf "%.2f", $1 + d}')"
    while :; do
      left="$(date +%s.%N | awk -v e="$end" '{printf "%.2f", e - $1}')"
      awk -v l="$left" 'BEGIN {exit !(l > 0.05)}' || break
      "${client_cpu[@]}" curl -s -o /dev/null --max-time "$left" -w '%{size_download} %{time_total}\n' \
        "$base/pub/1g.bin" || true
    done
  ) >"$dl" &
  dp=$!
  read -r a b < <(wrk_run "$base/mix/" 50 -s "$work/mixed.lua")
  wait "$dp" || true
  add "$name" mixed "$a"
  R[$name,errmixed]=$(( ${R[$name,errmixed]:-0} + b ))
  add "$name" mixeddl "$(awk '{n += $1; t += $2} END {printf "%.0f", (t > 0) ? n / t / 1048576 : 0}' "$dl")"
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
# zof publishes the two folders as /pub/ and /mix/; the twins ending in
# "log" write the combined access log to $work/<twin>/access.log.
start_zof() { start_zof_as zof "$zof" "$data" "${zof_switches[@]}" "$mix"; }
start_base() { start_zof_as base "$ZOF_BASE" "$data" "$mix"; }
start_zoflog() {
  start_zof_as zoflog "$zof" "$data" -c "log-file-name=$work/zoflog/access.log" \
    -c "log-apache-format=$combined" "$mix"
}
start_baselog() {
  start_zof_as baselog "$ZOF_BASE" "$data" -c "log-file-name=$work/baselog/access.log" \
    -c "log-apache-format=$combined" "$mix"
}
# nginx and lighttpd publish $work/root, folder pages on (only /mix/ asks
# for one); as "<name>log" with the combined access log.
start_nginx_as() { # name [log]
  local port dir="$work/$1"
  port="$(free_port)"
  write_nginx_conf "$port" "$work/root" "$dir"
  sed -i "s|^    root .*;|&\n    autoindex on;|" "$dir/nginx.conf"
  if [ -n "${2:-}" ]; then sed -i "s|^  access_log off;|  access_log $dir/access.log combined;|" "$dir/nginx.conf"; fi
  "${server_cpu[@]}" nginx -c "$dir/nginx.conf" -p "$dir" 2>"$dir/stderr.log" &
  PID[$1]=$!; PORT[$1]=$port; pids+=("$!")
}
start_lighttpd_as() { # name [log]
  local port dir="$work/$1"
  port="$(free_port)"
  write_lighttpd_conf "$port" "$work/root" "$dir"
  cat >>"$dir/lighttpd.conf" <<EOF
server.modules += ( "mod_dirlisting" )
dir-listing.activate = "enable"
dir-listing.encoding = "utf-8"
EOF
  if [ -n "${2:-}" ]; then
    cat >>"$dir/lighttpd.conf" <<EOF
server.modules += ( "mod_accesslog" )
accesslog.filename = "$dir/access.log"
accesslog.format = "%h %l %u %t \\"%r\\" %>s %b \\"%{Referer}i\\" \\"%{User-Agent}i\\""
EOF
  fi
  "${server_cpu[@]}" lighttpd -D -f "$dir/lighttpd.conf" 2>"$dir/stderr.log" &
  PID[$1]=$!; PORT[$1]=$port; pids+=("$!")
}
start_nginx() { start_nginx_as nginx; }
start_nginxlog() { start_nginx_as nginxlog log; }
start_lighttpd() { start_lighttpd_as lighttpd; }
start_lighttpdlog() { start_lighttpd_as lighttpdlog log; }

# All servers run at once and every row is measured on each of them back to
# back, round after round, so that a slow spell of the machine hits every
# server alike; each rate is the median of its rounds. With a base binary,
# zof and base are measured next to each other, in an order that swaps every
# round, and the /base column is the median of those paired ratios.
servers=(zof nginx lighttpd)
[ -n "${ZOF_BASE:-}" ] && servers=(zof base nginx lighttpd)
instances=("${servers[@]}")
if wanted log; then for name in "${servers[@]}"; do instances+=("${name}log"); done; fi
for name in "${instances[@]}"; do
  "start_$name"
  wait_port "${PORT[$name]}" "/pub/1k.bin"
  R[$name,mem0]="$(vmhwm "${PID[$name]}")" # after start and one request
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
for name in "${servers[@]}"; do R[$name,mem1000]="$(vmhwm "${PID[$name]}")"; done
for round in $(seq 1 "$downloads"); do
  echo "1 GiB, round $round..." >&2
  for name in $(in_order "$round"); do
    R[$name,gib,last]="$(download "$name")"
    R[$name,gib,all]="${R[$name,gib,all]:-} ${R[$name,gib,last]}"
  done
  if [ -n "${ZOF_BASE:-}" ]; then pair_ratio gib "${R[zof,gib,last]}" "${R[base,gib,last]}"; fi
done
# The rows added on top: the logging twins, the mixed load, the idle
# connections (last: they leave the servers' memory at its highest).
extra=()
for key in log mixed idle; do wanted "$key" && extra+=("$key"); done
for round in $(seq 1 "$rounds"); do
  for key in "${extra[@]}"; do
    echo "round $round: $key..." >&2
    for name in $(in_order "$round"); do
      case "$key" in
        log) measure_row "$name" rpslog:50: "${name}log" ;;
        mixed) mixed_row "$name" ;;
        idle) idle_row "$name" ;;
      esac
    done
    if [ -n "${ZOF_BASE:-}" ]; then
      k="$key"; [ "$key" = log ] && k=rpslog
      pair_ratio "$k" "${R[zof,$k,last]}" "${R[base,$k,last]}"
      [ "$key" = mixed ] && pair_ratio mixeddl "${R[zof,mixeddl,last]}" "${R[base,mixeddl,last]}"
    fi
  done
done
for name in "${servers[@]}"; do
  for key in rps50 rps50c rps1000 rps1000c rpslog mixed mixeddl idle; do
    if [ -n "${R[$name,$key,all]:-}" ]; then R[$name,$key]="$(median <<<"${R[$name,$key,all]}")"; fi
  done
  # The fewest held in any round: a server that let some go shows it.
  for key in held still; do
    if [ -n "${R[$name,$key,all]:-}" ]; then
      R[$name,$key]="$(tr ' ' '\n' <<<"${R[$name,$key,all]}" | grep -v '^$' | sort -g | head -1)"
    fi
  done
  if [ -n "${R[$name,idler,all]:-}" ]; then
    R[$name,idler]="$(median <<<"${R[$name,idler,all]}" | awk '{printf "%.2f", $1}')"
  fi
  R[$name,gib]="$(tr ' ' '\n' <<<"${R[$name,gib,all]}" | sort -g | tail -1)"
  R[$name,mem]="$(vmhwm "${PID[$name]}")"
done
# The logging twins are stopped first, so that what they hold back is written.
if wanted log; then
  for name in "${servers[@]}"; do kill "${PID[${name}log]}" 2>/dev/null || true; done
  for name in "${servers[@]}"; do
    wait "${PID[${name}log]}" 2>/dev/null || true
    R[$name,loglines]="$(wc -l <"$work/${name}log/access.log" 2>/dev/null || echo 0)"
    R[$name,logline]="$(head -1 "$work/${name}log/access.log" 2>/dev/null || true)"
  done
fi

# zof against base: the median of the paired ratios where there are pairs.
base_ratio() { # key
  if [ -n "${R[pairs,$1]:-}" ]; then median <<<"${R[pairs,$1]}" | awk '{printf "%.2f", $1}'
  else ratio "${R[zof,$1]:-}" "${R[base,$1]:-}"; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && a != "-" && b > 0) printf "%.2f", a / b; else print "-" }'; }
# A row of values and their ratios; "plain" rows (counts) have no ratios.
row() { # label key [plain]
  local z="${R[zof,$2]:--}" n="${R[nginx,$2]:--}" l="${R[lighttpd,$2]:--}" rn rl
  if [ -n "${3:-}" ]; then rn=""; rl=""; else rn="$(ratio "$z" "$n")"; rl="$(ratio "$z" "$l")"; fi
  printf "%-44s %10s %10s %10s %9s %9s" "$1" "$z" "$n" "$l" "$rn" "$rl"
  if [ -n "${ZOF_BASE:-}" ]; then
    if [ -n "${3:-}" ]; then printf " %10s %9s" "${R[base,$2]:--}" ""
    else printf " %10s %9s" "${R[base,$2]:--}" "$(base_ratio "$2")"; fi
  fi
  echo
}
echo
printf "%-44s %10s %10s %10s %9s %9s" "wrk ${duration}s x $rounds, $threads thr" "zof" "nginx" "lighttpd" "/nginx" "/lighttpd"
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
if wanted log; then
  row "1 KiB, 50 conn, combined access log (req/s)" rpslog
  row "  errors" errlog
  row "  access log lines written" loglines plain
fi
if wanted mixed; then
  row "mixed: page+files, 50 conn (req/s)" mixed
  row "  errors and non-2xx" errmixed
  row "mixed: 1 GiB downloads meanwhile (MiB/s)" mixeddl
fi
if wanted idle; then
  row "1 KiB, 50 conn, $idle idle held (req/s)" idle
  row "  errors" erridle
  row "  with idle / without (median of rounds)" idler plain
  row "  idle connections held (fewest of rounds)" held plain
  row "  still open after the wrk run (fewest)" still plain
fi
row "memory after start, 1 request (VmHWM KiB)" mem0
row "peak memory after 1000-conn rows (KiB)" mem1000
if wanted idle; then row "peak memory after idle rows (KiB)" mem; else row "peak memory at the end (KiB)" mem; fi
if wanted idle; then
  cap="$(awk '$1 == "server.max-connections" {print $3}' "$work/lighttpd/lighttpd.conf")"
  if (( idle + 50 > cap )); then
    echo "lighttpd takes at most $cap connections (half its $(ulimit -n) descriptors): beside $idle idle ones, the 50 active ones find no room"
  fi
fi
if wanted log; then
  echo "first line of each access log:"
  for name in "${servers[@]}"; do printf "  %-9s %s\n" "$name" "${R[$name,logline]}"; done
fi
if [ -n "${ZOF_ACCESS_LOG:-}" ]; then
  echo "zof wrote its access log ($(wc -l <"$work/zof/access.log") lines): \"$ZOF_ACCESS_LOG\""
fi
