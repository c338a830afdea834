# Shared by the benchmark scripts (sourced): a free loopback port and the
# configurations of the servers ZOF is compared with. Needs $work.

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

write_nginx_conf() { # port root
  mkdir -p "$work/nginx/tmp"
  cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
worker_rlimit_nofile 65536;
events { worker_connections 8192; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  tcp_nodelay on;
  keepalive_requests 10000000;
  keepalive_timeout 65;
  client_body_temp_path $work/nginx/tmp/body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$1;
    root $2;
  }
}
EOF
}

write_lighttpd_conf() { # port root
  mkdir -p "$work/lighttpd"
  cat >"$work/lighttpd/lighttpd.conf" <<EOF
server.document-root = "$2"
server.bind = "127.0.0.1"
server.port = $1
server.errorlog = "$work/lighttpd/error.log"
server.max-fds = 16384
server.max-connections = 8192
server.max-keep-alive-requests = 10000000
server.max-keep-alive-idle = 65
server.network-backend = "sendfile"
mimetype.assign = ( "" => "application/octet-stream" )
EOF
}
