#!/usr/bin/env bash
# Runs the comparison benchmarks one after the other and writes their tables
# to bench/RESULTS.md, under a header that tells the machine, the versions
# of the servers and tools, and the date:
#
#   ZOF_BIN=/path/to/zof bench/results.sh
#
# serve.sh (static files, access log, idle connections, mixed load, memory),
# pages.sh (folder pages), archive.sh (tar and zip streamed) and https.sh;
# about a quarter of an hour at the defaults. Run it on a quiet machine: the
# other scripts' notes on pinning and rounds hold here too.
# Environment: ZOF_BIN (the zof binary measured; without it a release build
# is made once and used by every script), SCRIPTS (the scripts to run,
# default "serve pages archive https"), OUT (the file written, default
# bench/RESULTS.md). Every other variable (DURATION, ROUNDS, IDLE, SKIP...)
# goes to the scripts as it is and is shown in each command.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
scripts="${SCRIPTS:-serve pages archive https}"
out="${OUT:-$here/RESULTS.md}"
source "$here/servers.sh"
require_tools "$repo"
choose_zof "$repo"
ZOF_BIN="$(realpath "$zof")"
export ZOF_BIN

# The knobs of the scripts that are set, as "NAME=value " words, quoted.
knobs() {
  local v
  for v in DURATION ROUNDS DOWNLOADS IDLE SKIP THREADS PIN FILES CONNS FILE_MIB ZOF_BASE ZOF_ACCESS_LOG; do
    if [ -n "${!v:-}" ]; then printf '%s=%q ' "$v" "${!v}"; fi
  done
}
first_line() { "$@" 2>&1 | head -1 || true; }

caption() { # script
  case "$1" in
    serve) echo "Files over HTTP: 1 KiB requests at 50 and 1,000 connections, a 1 GiB download, an access log, idle connections, a mixed load and memory; zof, nginx (one worker) and lighttpd." ;;
    pages) echo "Folder pages: one folder (2,000 files unless FILES says otherwise) listed by zof, nginx's autoindex and lighttpd's dir-listing." ;;
    archive) echo "Archives streamed while they are built (tar, zip) against a tar file sent from disk by lighttpd and by zof." ;;
    https) echo "HTTPS: zof against nginx (one worker) with the same certificate and key." ;;
    *) echo "$1.sh" ;;
  esac
}

tmp="$(mktemp "${out}.XXXXXX")"
trap 'rm -f "$tmp"' EXIT
cpu="$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo)"
[ -n "$cpu" ] || cpu="$(lscpu 2>/dev/null | awk -F': *' '/^Model name/ {print $2; exit}')"
{
  echo "# ZOF against nginx and lighttpd"
  echo
  echo "Made by \`$(knobs)ZOF_BIN=$ZOF_BIN bench/results.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), loopback only."
  echo
  echo "| | |"
  echo "|---|---|"
  echo "| CPU | ${cpu:-unknown} |"
  echo "| cores | $(nproc) (servers pinned to the first, load tools to the second, unless PIN=0) |"
  echo "| memory | $(awk '/^MemTotal:/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) |"
  echo "| kernel | $(uname -sr) |"
  echo "| Debian | $(cat /etc/debian_version 2>/dev/null || echo none) |"
  echo "| open files | $(ulimit -Hn) (hard limit) |"
  echo "| zof | $ZOF_BIN, built $(date -u -r "$ZOF_BIN" '+%Y-%m-%d %H:%M UTC'); scripts at commit $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo "?") |"
  echo "| nginx | $(first_line nginx -v | sed 's/^nginx version: //') |"
  echo "| lighttpd | $(first_line lighttpd -v) |"
  echo "| wrk | $(first_line wrk -v | awk '{print $1, $2}') |"
  echo "| curl | $(first_line curl --version | awk '{print $1, $2}') |"
  echo "| OpenSSL | $(first_line openssl version) |"
  echo "| Python | $(first_line python3 --version) |"
} >"$tmp"

failed=0
for name in $scripts; do
  script="$here/$name.sh"
  [ -f "$script" ] || { echo "no such script: $script" >&2; exit 2; }
  command="$(knobs)ZOF_BIN=$ZOF_BIN bench/$name.sh"
  echo "== $command" >&2
  start=$SECONDS
  status=0
  table="$(bash "$script")" || status=$?
  {
    echo
    echo "## $name.sh"
    echo
    echo "$(caption "$name") ($((SECONDS - start)) s)"
    echo
    echo '```'
    echo "\$ $command"
    sed '/./,$!d' <<<"$table"
    if [ "$status" != 0 ]; then echo "(exited with status $status)"; fi
    echo '```'
  } >>"$tmp"
  if [ "$status" != 0 ]; then
    echo "$name.sh failed with status $status" >&2
    failed=1
  fi
done
chmod 644 "$tmp"
mv "$tmp" "$out"
trap - EXIT
echo "wrote $out" >&2
exit "$failed"
