# Shared by the benchmark scripts (sourced): the tools, the zof binary to
# measure, a scratch folder cleaned up at exit, a free loopback port and the
# configurations of the servers ZOF is compared with.

export PATH="$PATH:/usr/sbin"

# On two cores or more the servers run on the first core and the load tools
# on the second (PIN=0 turns this off). Left to the scheduler, wrk's threads
# and a one-thread server take turns on the same core at random and the
# rates of one binary spread by a third from run to run.
if [ "${PIN:-1}" = 1 ] && [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null 2>&1; then
  server_cpu=(taskset -c 0)
  client_cpu=(taskset -c 1)
  default_threads=1
else
  server_cpu=()
  client_cpu=()
  default_threads=2
fi

# Installs the benchmark tools when one is missing.
require_tools() { # repo
  local tool
  for tool in wrk nginx lighttpd curl; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      bash "$1/scripts/setup.sh" bench
      return
    fi
  done
}

# Builds `target` in release mode into build-bench; prints nothing.
build_release() { # repo target
  echo "building $2 (release)..." >&2
  cmake -S "$1" -B "$1/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOF_TESTS=OFF -DZOF_UNITY=OFF -DZOF_GUI=ON >/dev/null
  cmake --build "$1/build-bench" --target "$2" -j2 >/dev/null
}

# $zof: $ZOF_BIN, else a release build.
choose_zof() { # repo
  zof="${ZOF_BIN:-}"
  if [ -z "$zof" ]; then
    build_release "$1" zof
    zof="$1/build-bench/src/main/zof"
  fi
}

# $work: a scratch folder; every pid in $pids is stopped and the folder
# removed at exit.
make_scratch() { # name
  ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
  work="$(mktemp -d "/tmp/$1.XXXXXX")"
  pids=()
  trap cleanup EXIT INT TERM
}
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}

# Waits until the server on `port` answers for `path`.
wait_port() { # port path
  for _ in $(seq 1 200); do
    curl -s -o /dev/null "http://127.0.0.1:$1$2" && return 0
    sleep 0.05
  done
  echo "server on port $1 did not start" >&2
  return 1
}

# Starts a zof binary under `name` publishing `folder`, with its own
# configuration, XDG folders and log files under $work/name; sets PORT[name]
# and PID[name]. ZOF_WRAP (say "valgrind --tool=callgrind") runs it under a tool.
declare -A PORT PID
# Switches after the folder ("-c key=value" ...) go to zof as well.
start_zof_as() { # name binary folder [switches...]
  local dir="$work/$1" port
  port="$(free_port)"
  mkdir -p "$dir/cfg" "$dir/xdg" "$dir/run"
  chmod 700 "$dir/run"
  # wrk fetches one file over many connections from one address: that is what
  # leeching protection refuses, and the other servers have no such rule.
  XDG_CONFIG_HOME="$dir/xdg" XDG_RUNTIME_DIR="$dir/run" ZOF_NO_SINGLE_INSTANCE=1 \
    "${server_cpu[@]}" ${ZOF_WRAP:-} "$2" --headless -i "$dir/cfg" -c "port=$port" -c "listen-on=127.0.0.1" \
    -c "prevent-leeching=no" "${@:4}" "$3" \
    >"$dir/stdout.log" 2>"$dir/stderr.log" </dev/null &
  PID[$1]=$!; PORT[$1]=$port; pids+=("$!")
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# The configuration goes to dir/nginx.conf (dir: $work/nginx by default),
# nginx's own files under dir.
write_nginx_conf() { # port root [dir]
  local d="${3:-$work/nginx}"
  mkdir -p "$d/tmp"
  cat >"$d/nginx.conf" <<EOF
worker_processes 1;
daemon off;
master_process off;
pid $d/nginx.pid;
error_log $d/error.log;
worker_rlimit_nofile 65536;
events { worker_connections 16384; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  tcp_nodelay on;
  keepalive_requests 10000000;
  keepalive_timeout 65;
  client_body_temp_path $d/tmp/body;
  proxy_temp_path $d/tmp/proxy;
  fastcgi_temp_path $d/tmp/fastcgi;
  uwsgi_temp_path $d/tmp/uwsgi;
  scgi_temp_path $d/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$1;
    root $2;
  }
}
EOF
}

# lighttpd takes at most half its descriptors as connections: with the
# limit of this shell (20000 on some machines), 10,000 at most.
# The configuration goes to dir/lighttpd.conf (dir: $work/lighttpd by default).
write_lighttpd_conf() { # port root [dir]
  local fds d="${3:-$work/lighttpd}"
  fds="$(ulimit -n)"
  [ "$fds" = unlimited ] || [ "$fds" -gt 65535 ] && fds=65535
  mkdir -p "$d"
  cat >"$d/lighttpd.conf" <<EOF
server.document-root = "$2"
server.bind = "127.0.0.1"
server.port = $1
server.errorlog = "$d/error.log"
server.max-fds = $fds
server.max-connections = $((fds / 2))
server.max-keep-alive-requests = 10000000
server.max-keep-alive-idle = 65
server.network-backend = "sendfile"
mimetype.assign = ( "" => "application/octet-stream" )
EOF
}

# The median of the numbers on standard input (separated by spaces or lines).
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : 0)}'; }
