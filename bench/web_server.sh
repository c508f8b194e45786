#!/usr/bin/env bash
# Web server figures, in one run on this machine: requests per second for a 1 KiB file
# (ab, HTTP/1.0, one request per connection) and the transfer rate of a 100 MiB file
# (curl), for velmora's server, `python3 -m http.server` and nginx with one worker.
# Usage: bench/web_server.sh [build dir] (default build). Needs tools/setup.sh bench.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
velmora=$build/bin/velmora
[ -x "$velmora" ] || { echo "build velmora first ($velmora)" >&2; exit 2; }
for tool in ab curl nginx python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run tools/setup.sh bench" >&2; exit 2; }
done

requests=${VELMORA_BENCH_REQUESTS:-20000}
python_requests=${VELMORA_BENCH_PYTHON_REQUESTS:-3000}
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() {
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "server on port $1 did not start" >&2
    exit 1
}

root=$work/root
mkdir -p "$root"
head -c 1024 /dev/urandom >"$root/small.txt"
head -c $((100 << 20)) /dev/urandom >"$root/large.bin"
chmod -R a+rX "$work"

# velmora, as a script author runs it.
vport=$(free_port)
printf '[main]\nweb,server,%s\npause\n' "$root" >"$work/code.txt"
VELMORA_HOME=$work VELMORA_WEB_PORT=$vport "$velmora" --console >"$work/velmora.log" 2>&1 &
vpid=$!
pids+=($vpid)

pport=$(free_port)
python3 -m http.server "$pport" --bind 127.0.0.1 --directory "$root" >"$work/python.log" 2>&1 &
ppid_=$!
pids+=($ppid_)

nport=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server { listen 127.0.0.1:$nport; root $root; }
}
CONF
nginx -c "$work/nginx.conf" -e "$work/nginx/error.log" &
npid=$!
pids+=($npid)

wait_port "$vport"
wait_port "$pport"
wait_port "$nport"

rate() {  # requests per second for the 1 KiB file: port, requests, concurrency
    ab -q -n "$2" -c "$3" "http://127.0.0.1:$1/small.txt" 2>&1 |
        awk '/^Failed requests/ { f = $3 } /^Requests per second/ { r = $4 } END { print r, f }'
}
transfer() {  # MB/s (10^6 bytes) for the 100 MiB file
    curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$1/large.bin" |
        awk '{ printf "%.0f", $1 / 1e6 }'
}

# A short warm-up so that every server has its file in the page cache.
for p in "$vport" "$pport" "$nport"; do rate "$p" 200 1 >/dev/null; transfer "$p" >/dev/null; done

# The machine may be shared: each figure is the best of three runs, so that a burst of
# other work does not decide the comparison.
best_rate() {  # port, requests, concurrency -> "rate failed"
    local best=0 failed=0 r f
    for _ in 1 2 3; do
        read -r r f <<<"$(rate "$1" "$2" "$3")"
        failed=$((failed + f))
        awk -v a="$r" -v b="$best" 'BEGIN { exit !(a > b) }' && best=$r
    done
    echo "$best $failed"
}

for c in 1 4; do
    read -r v_rate v_fail <<<"$(best_rate "$vport" "$requests" "$c")"
    read -r p_rate p_fail <<<"$(best_rate "$pport" "$python_requests" "$c")"
    read -r n_rate n_fail <<<"$(best_rate "$nport" "$requests" "$c")"
    echo "1 KiB file, requests per second (ab -c $c, HTTP/1.0, one request per connection):"
    printf '  velmora  %10s   (failed: %s)\n' "$v_rate" "$v_fail"
    printf '  python   %10s   (failed: %s)\n' "$p_rate" "$p_fail"
    printf '  nginx    %10s   (failed: %s)\n' "$n_rate" "$n_fail"
    awk -v v="$v_rate" -v p="$p_rate" -v n="$n_rate" \
        'BEGIN { printf "  velmora / python = %.1fx, velmora / nginx = %.2f\n", v / p, v / n }'
done

# CPU time the server spends per request, which the machine's load does not change.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
cpu_per_request() {  # pid, port, requests -> microseconds
    local before after
    before=$(ticks "$1")
    rate "$2" "$3" 1 >/dev/null
    after=$(ticks "$1")
    awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v n="$3" \
        'BEGIN { printf "%.0f", t / hz * 1e6 / n }'
}
nworker=$(pgrep -P "$npid" | head -1)
v_cpu=$(cpu_per_request "$vpid" "$vport" "$requests")
p_cpu=$(cpu_per_request "$ppid_" "$pport" "$python_requests")
n_cpu=$(cpu_per_request "$nworker" "$nport" "$requests")
echo "CPU time per 1 KiB request, microseconds (server process, user + system):"
printf '  velmora  %6s\n  python   %6s\n  nginx    %6s\n' "$v_cpu" "$p_cpu" "$n_cpu"

echo "100 MiB file, MB/s (curl; best of 3):"
for name in velmora python nginx; do
    case $name in velmora) p=$vport ;; python) p=$pport ;; nginx) p=$nport ;; esac
    best=0
    for _ in 1 2 3; do
        mb=$(transfer "$p")
        ((mb > best)) && best=$mb
    done
    printf '  %-8s %6s\n' "$name" "$best"
done
