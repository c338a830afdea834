#!/usr/bin/env bash
# Archives built while they are sent, against a file sent from disk: ZOF
# streams a folder of 1 GiB in 1,000 files as tar and as zip; lighttpd sends
# a tar file of the same folder, made beforehand, and so does ZOF (the row
# that tells the archive's own cost from the server's). ZOF remembers the
# CRC-32 of the files it sent in a zip, so a zip of files sent before goes
# out like the tar; "zof-zip-new" touches the files first, so their CRCs are
# computed on the way. In one run, the
# servers taking turns every round (MiB/s, the best and the median of ROUNDS).
# Environment: ROUNDS (default 5), FILES (default 1000), FILE_MIB (default 1),
# ZOF_BIN (a zof binary to use instead of building a release one).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
rounds="${ROUNDS:-5}"
files="${FILES:-1000}"
file_mib="${FILE_MIB:-1}"
source "$here/servers.sh"
require_tools "$repo"
choose_zof "$repo"
make_scratch zof-bench-archive

# zof publishes $work/root/pub; lighttpd serves $work/static/pub.tar, a tar
# of that folder with the same names.
data="$work/root/pub"
mkdir -p "$data" "$work/static"
echo "writing $files files of $file_mib MiB..." >&2
head -c "$((file_mib * 1024 * 1024))" /dev/urandom >"$work/one"
for i in $(seq -w 1 "$files"); do
  # Each file differs in its first bytes, so no two are the same pages.
  { printf '%08d' "$((10#$i))"; tail -c +9 "$work/one"; } >"$data/file-$i.bin"
done
tar -C "$work/root" -cf "$work/static/pub.tar" pub

start_zof_as zof "$zof" "$work/root/pub" "$work/static"
port_l="$(free_port)"
write_lighttpd_conf "$port_l" "$work/static"
"${server_cpu[@]}" lighttpd -D -f "$work/lighttpd/lighttpd.conf" </dev/null &
pids+=("$!")
wait_port "${PORT[zof]}" /pub/
wait_port "$port_l" /pub.tar

fetch() { # url -> MiB/s
  "${client_cpu[@]}" curl -s -o /dev/null -w '%{speed_download}' --max-time 120 "$1" \
    | awk '{printf "%.0f", $1 / 1048576}'
}
declare -A R
urls=(
  "zof-tar http://127.0.0.1:${PORT[zof]}/pub/~folder.tar"
  "zof-zip http://127.0.0.1:${PORT[zof]}/pub/~folder.zip"
  "zof-zip-new http://127.0.0.1:${PORT[zof]}/pub/~folder.zip"
  "zof-file http://127.0.0.1:${PORT[zof]}/static/pub.tar"
  "lighttpd http://127.0.0.1:$port_l/pub.tar"
)
sizes="$(curl -sI "http://127.0.0.1:${PORT[zof]}/pub/~folder.tar" | awk 'tolower($1)=="content-length:" {print $2}' | tr -d '\r')"
echo "tar of the folder: $sizes bytes (zof), $(stat -c %s "$work/static/pub.tar") bytes (tar on disk)" >&2
for round in $(seq 1 "$rounds"); do
  echo "round $round..." >&2
  # Each round starts with a different server.
  for k in $(seq 0 $((${#urls[@]} - 1))); do
    read -r name url <<<"${urls[$(( (k + round) % ${#urls[@]} ))]}"
    [ "$name" = zof-zip-new ] && touch "$data"/*
    R[$name]="${R[$name]:-} $(fetch "$url")"
  done
done

best() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -1; }
echo
printf "%-28s %10s %10s %12s %12s\n" "$files files, $rounds rounds" "best MiB/s" "median" "best/lighttpd" "median/ltpd"
lb="$(best <<<"${R[lighttpd]}")"; lm="$(median <<<"${R[lighttpd]}")"
for name in zof-tar zof-zip zof-zip-new zof-file lighttpd; do
  b="$(best <<<"${R[$name]}")"; m="$(median <<<"${R[$name]}")"
  printf "%-28s %10s %10s %12s %12s\n" "$name" "$b" "$m" \
    "$(awk -v a="$b" -v c="$lb" 'BEGIN {printf "%.2f", a / c}')" \
    "$(awk -v a="$m" -v c="$lm" 'BEGIN {printf "%.2f", a / c}')"
done
