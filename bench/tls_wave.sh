#!/usr/bin/env bash
# A wave of TLS users against nginx on loopback (2 workers, ECDSA P-256 certificate, TLS 1.3),
# pressbolt-cli alternated with `h2load --h1 -n N -c N -t 1` and `ab -n N -c N` on the same URL.
# Prints, per program, the medians over the rounds of wall time, CPU (user + system) and peak
# memory (maximum resident set), as /usr/bin/time measures the whole process.
#   bench/tls_wave.sh [BUILD_DIR] [USERS] [ROUNDS]
# TLS_TRUST=--insecure skips the certificate check, which h2load and ab never make.
set -euo pipefail

build=${1:-build}
users=${2:-2000}
rounds=${3:-5}
cli="$build/src/pressbolt-cli"
for p in nginx h2load ab openssl /usr/bin/time; do
  command -v "$p" >/dev/null || { echo "tls_wave: $p is missing"; exit 0; }
done

dir=$(mktemp -d /tmp/pressbolt-tls-XXXXXX)
chmod 755 "$dir"
nginxpid=""
cleanup() {
  [[ -n "$nginxpid" ]] && kill "$nginxpid" 2>/dev/null && wait "$nginxpid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
mkdir -p "$dir/html"
head -c 100 /dev/zero | tr '\0' x > "$dir/html/size100"
port=$((21000 + $$ % 2000))
cat > "$dir/nginx.conf" <<CONF
worker_processes 2;
worker_rlimit_nofile 20000;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 19990; multi_accept on; }
http {
  access_log off;
  keepalive_timeout 0;
  client_body_temp_path $dir/cb; proxy_temp_path $dir/p; fastcgi_temp_path $dir/f;
  uwsgi_temp_path $dir/u; scgi_temp_path $dir/s;
  server {
    listen 127.0.0.1:$port ssl backlog=65535;
    ssl_certificate $dir/cert.pem;
    ssl_certificate_key $dir/key.pem;
    ssl_protocols TLSv1.3;
    root $dir/html;
  }
}
CONF
nginx -p "$dir/" -e "$dir/error.log" -c "$dir/nginx.conf" &
nginxpid=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
  sleep 0.1
done
url="https://127.0.0.1:$port/size100"
ulimit -n 20000 2>/dev/null || true

# One measured run: "wall_s cpu_s maxrss_kb" on stdout.
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$dir/time" "$@" >"$dir/out" 2>&1 || true
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$dir/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A wall cpu rss
for round in $(seq "$rounds"); do
  for prog in pressbolt h2load ab; do
    case $prog in
      pressbolt) set -- "$cli" -q --users "$users" ${TLS_TRUST:---ca-file $dir/cert.pem} --output-dir "$dir" "$url" ;;
      h2load) set -- h2load --h1 -n "$users" -c "$users" -t 1 "$url" ;;
      ab) set -- ab -q -n "$users" -c "$users" "$url" ;;
    esac
    read -r w c m < <(measure "$@")
    wall[$prog]+="$w "
    cpu[$prog]+="$c "
    rss[$prog]+="$m "
  done
done
grep -h "Resulting statuscodes" "$dir/Pressbolt Results.log" | tail -1 || true
for prog in pressbolt h2load ab; do
  printf "%-10s wall %s s  cpu %s s  peak %s kB  (medians of %s, %s users)\n" "$prog" \
    "$(tr ' ' '\n' <<<"${wall[$prog]}" | grep . | median)" \
    "$(tr ' ' '\n' <<<"${cpu[$prog]}" | grep . | median)" \
    "$(tr ' ' '\n' <<<"${rss[$prog]}" | grep . | median)" "$rounds" "$users"
done
