#!/usr/bin/env bash
# A long, lossy link on this machine: a server namespace and a client namespace joined by TUN devices, with
# build/bench/link-relay in between (75 ms each way, 0.5 % random loss each way, 100 Mbit/s, a 100 ms tail-drop
# queue), and nginx serving a folder of the script's own inside the server namespace over HTTP/1.1 and https with
# HTTP/2, under a test certificate that only commands run through link_client trust. Needs root, /dev/net/tun and
# nginx-light.
#
#   bench/emulated-link.sh [measure]    set the link up, measure handshake, loss and throughput, take it down
#   bench/emulated-link.sh run CMD...   set the link up, run CMD with the LINK_* settings below, take it down
#
# Sourced (bench/links-bench.sh does), it defines link_up, link_down, link_congestion, link_client, link_server,
# link_measure. Everything it makes (namespaces, devices, relay, nginx, its temporary folder) goes when the shell
# exits, on an error or an interrupt too.
#
# Settings (environment): BUILD (build tree with bench/link-relay, default <repo>/build), LINK_DELAY_MS (75),
# LINK_LOSS (0.005), LINK_RATE_MBIT (100), LINK_QUEUE_MS (100), LINK_SEED (random loss pattern, default 1).
# Set by link_up: LINK_DIR (with access.log: connection, protocol and status of each request), LINK_WWW (the served
# folder), LINK_HTTP and LINK_HTTPS (its addresses), LINK_CA (the test certificate authority), LINK_SERVER_NS,
# LINK_CLIENT_NS.

link_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# From the benchmarking range, and only inside the two namespaces: neither has a default route.
LINK_SERVER_ADDR=198.18.0.1
LINK_CLIENT_ADDR=198.18.0.2
link_startup_seconds=10

link_log() { echo "link: $*" >&2; }

# Interface counters of the client and server devices, in this order: server tx and rx packets, client tx and rx
# packets, client rx bytes.
link_counters() {
    local s c
    s=$(ip netns exec "$LINK_SERVER_NS" cat /sys/class/net/vhsrv/statistics/{tx_packets,rx_packets})
    c=$(ip netns exec "$LINK_CLIENT_NS" cat /sys/class/net/vhcli/statistics/{tx_packets,rx_packets,rx_bytes})
    echo $s $c
}

link_server() { ip netns exec "$LINK_SERVER_NS" "$@"; }

# Runs a command in the client namespace, in a mount namespace of its own where the system's certificate bundle is
# the test authority alone: the launcher, curl and aria2c trust the test server as they would a real one, and
# nothing outside this command sees the change.
link_client() {
    ip netns exec "$LINK_CLIENT_NS" unshare --mount --propagation private \
        sh -c 'mount --bind "$0" /etc/ssl/certs/ca-certificates.crt && exec "$@"' "$LINK_CA" "$@"
}

# The server's congestion control for new connections: bbr (the kernel's default, in namespaces too) or cubic.
# A namespace cannot change its default, so it goes on the server's route to the client.
link_congestion() {
    ip -n "$LINK_SERVER_NS" route replace "$LINK_CLIENT_ADDR" dev vhsrv src "$LINK_SERVER_ADDR" congctl "$1"
}

link_make_certificates() {
    local tls=$LINK_DIR/tls
    mkdir -m 700 "$tls" # the keys: nginx reads them as root
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Varnhold link test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
        -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$LINK_SERVER_ADDR" \
        -keyout "$tls/server.key" -out "$tls/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:%s\nextendedKeyUsage=serverAuth\n' "$LINK_SERVER_ADDR" >"$tls/server.ext"
    openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
        -extfile "$tls/server.ext" -out "$tls/server.pem" 2>/dev/null
    LINK_CA=$tls/ca.pem
}

link_write_nginx_config() {
    local temp=$LINK_DIR/nginx-temp
    mkdir -p "$temp"
    # Every path the server writes is in the link's folder; nothing of the system's nginx set-up is read.
    cat >"$LINK_DIR/nginx.conf" <<EOF
worker_processes 1;
pid $LINK_DIR/nginx.pid;
error_log $LINK_DIR/nginx-error.log warn;
events { worker_connections 4096; }
http {
    # Which connection and protocol served each request: what a benchmark's client really did.
    log_format link '\$connection \$server_protocol \$status';
    access_log $LINK_DIR/access.log link;
    default_type application/octet-stream;
    sendfile on;
    tcp_nopush on;
    # One client may fetch thousands of files over one connection.
    keepalive_requests 1000000;
    keepalive_timeout 120s;
    client_body_temp_path $temp/body;
    proxy_temp_path $temp/proxy;
    fastcgi_temp_path $temp/fastcgi;
    uwsgi_temp_path $temp/uwsgi;
    scgi_temp_path $temp/scgi;
    server {
        listen $LINK_SERVER_ADDR:80;
        listen $LINK_SERVER_ADDR:443 ssl http2;
        ssl_certificate $LINK_DIR/tls/server.pem;
        ssl_certificate_key $LINK_DIR/tls/server.key;
        root $LINK_WWW;
    }
}
EOF
}

link_up() {
    if [ "$(id -u)" -ne 0 ]; then
        link_log "needs root (network namespaces, TUN devices)"
        return 1
    fi
    local relay=${BUILD:-$link_root/build}/bench/link-relay tool
    if [ ! -x "$relay" ]; then
        link_log "no relay at $relay: cmake --build ${BUILD:-build} --target link-relay"
        return 1
    fi
    for tool in ip nginx openssl unshare curl; do
        command -v "$tool" >/dev/null || {
            link_log "$tool is missing (scripts/install-deps)"
            return 1
        }
    done
    trap link_down EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP

    LINK_DIR=$(mktemp -d /tmp/varnhold-link-XXXXXX)
    LINK_WWW=$LINK_DIR/www
    mkdir -p "$LINK_WWW"
    # nginx's workers run as nobody and must read the served folder.
    chmod 755 "$LINK_DIR" "$LINK_WWW"
    LINK_SERVER_NS=varnhold-link-server-$$
    LINK_CLIENT_NS=varnhold-link-client-$$
    ip netns add "$LINK_SERVER_NS"
    ip netns add "$LINK_CLIENT_NS"
    # IPv4 only: the link carries the measured traffic and nothing the kernel would say on its own over IPv6.
    for ns in "$LINK_SERVER_NS" "$LINK_CLIENT_NS"; do
        ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    done

    # Real-time, above the programs it carries: on a busy machine at normal priority a tenth of the packets came
    # out over 1 ms late (up to 45 ms); it sleeps between packets, so it takes a third of a core at the line rate.
    chrt -f 20 "$relay" "$LINK_SERVER_NS" vhsrv "$LINK_CLIENT_NS" vhcli "${LINK_DELAY_MS:-75}" "${LINK_LOSS:-0.005}" \
        "${LINK_RATE_MBIT:-100}" "${LINK_QUEUE_MS:-100}" "${LINK_SEED:-1}" >"$LINK_DIR/relay.out" 2>&1 &
    link_relay_pid=$!
    local waited ns
    for ((waited = 0; waited < link_startup_seconds * 10; ++waited)); do
        grep -q '^ready' "$LINK_DIR/relay.out" && break
        kill -0 "$link_relay_pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! grep -q '^ready' "$LINK_DIR/relay.out"; then
        link_log "the relay did not start: $(cat "$LINK_DIR/relay.out")"
        return 1
    fi
    local dev addr peer
    for ns in server client; do
        if [ $ns = server ]; then
            ns=$LINK_SERVER_NS dev=vhsrv addr=$LINK_SERVER_ADDR peer=$LINK_CLIENT_ADDR
        else
            ns=$LINK_CLIENT_NS dev=vhcli addr=$LINK_CLIENT_ADDR peer=$LINK_SERVER_ADDR
        fi
        ip -n "$ns" link set lo up
        ip -n "$ns" link set "$dev" mtu 1500 txqueuelen 1000 up
        ip -n "$ns" addr add "$addr" peer "$peer" dev "$dev"
    done
    link_congestion bbr

    link_make_certificates
    link_write_nginx_config
    ip netns exec "$LINK_SERVER_NS" nginx -c "$LINK_DIR/nginx.conf" -e "$LINK_DIR/nginx-error.log" \
        -g 'daemon off;' </dev/null >>"$LINK_DIR/nginx-error.log" 2>&1 &
    link_nginx_pid=$!
    for ((waited = 0; waited < link_startup_seconds * 10; ++waited)); do
        [ -n "$(link_server ss -Hltn "sport = :443")" ] && break
        kill -0 "$link_nginx_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$(link_server ss -Hltn "sport = :443")" ]; then
        link_log "nginx did not start: $(cat "$LINK_DIR/nginx-error.log")"
        return 1
    fi
    LINK_HTTP=http://$LINK_SERVER_ADDR
    LINK_HTTPS=https://$LINK_SERVER_ADDR
    export LINK_DIR LINK_WWW LINK_HTTP LINK_HTTPS LINK_CA LINK_SERVER_NS LINK_CLIENT_NS
    link_log "up: ${LINK_DELAY_MS:-75} ms each way, loss ${LINK_LOSS:-0.005} each way, ${LINK_RATE_MBIT:-100} Mbit/s," \
        "queue ${LINK_QUEUE_MS:-100} ms; server $LINK_SERVER_ADDR in $LINK_SERVER_NS, client in $LINK_CLIENT_NS"
}

# Stops what link_up started, by process id, and removes the namespaces and the folder. Safe to call twice.
link_stop_pid() {
    local pid=$1 waited
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    for ((waited = 0; waited < 50; ++waited)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

link_down() {
    trap - EXIT INT TERM HUP
    set +e
    if [ -n "${link_nginx_pid:-}" ]; then
        # The master ends its workers on TERM; any left behind are its children, ended by their ids.
        local workers
        workers=$(pgrep -P "$link_nginx_pid")
        link_stop_pid "$link_nginx_pid"
        for pid in $workers; do link_stop_pid "$pid"; done
        link_nginx_pid=
    fi
    if [ -n "${link_relay_pid:-}" ]; then
        link_stop_pid "$link_relay_pid"
        link_relay_pid=
        [ -f "$LINK_DIR/relay.out" ] && tail -n 2 "$LINK_DIR/relay.out" | sed 's/^/link relay: /' >&2
    fi
    for ns in "${LINK_CLIENT_NS:-}" "${LINK_SERVER_NS:-}"; do
        [ -n "$ns" ] && ip netns list | grep -qw "$ns" && ip netns delete "$ns"
    done
    LINK_CLIENT_NS= LINK_SERVER_NS=
    if [ -n "${LINK_DIR:-}" ]; then
        rm -rf "$LINK_DIR"
        LINK_DIR=
    fi
}

# CPU time the relay has used, in clock ticks.
link_relay_cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$link_relay_pid/stat"; }

# The relay's own count of what it carried in each direction so far, one line each.
link_relay_counters() {
    local lines
    lines=$(wc -l <"$LINK_DIR/relay.out")
    kill -USR1 "$link_relay_pid"
    while [ "$(wc -l <"$LINK_DIR/relay.out")" -lt $((lines + 2)) ]; do sleep 0.05; done
    tail -n 2 "$LINK_DIR/relay.out"
}

# What the link does, as its users see it: TCP handshake round trip, loss each way over flows that never fill the
# queue, and the line's throughput with 4 flows. The loss and the rate are counted by the kernel's devices at both
# ends, not by the relay; the relay's own counts are printed beside them.
link_measure() {
    local probe=$LINK_WWW/probe.bin flows=4 f
    truncate -s 1G "$probe" # sparse: the link carries it, the disk does not
    local times
    times=$(for f in $(seq 10); do
        link_client curl -s -o /dev/null -w '%{time_connect}\n' -r 0-0 "$LINK_HTTP/probe.bin"
    done)
    echo "$times" | sort -g | awk '{ v[NR] = $1 * 1000 } END {
        printf "handshake round trip (TCP connect, %d connections): median %.1f ms, min %.1f ms, max %.1f ms\n",
            NR, (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }'

    # The client advertises a small window, so the flows together never have more in flight than the queue holds:
    # what they lose is the random loss alone.
    local probeWindow=196608 probeSeconds=30 before after
    ip -n "$LINK_CLIENT_NS" route replace "$LINK_SERVER_ADDR" dev vhcli src "$LINK_CLIENT_ADDR" window $probeWindow
    before=$(link_counters)
    local pids=()
    for f in $(seq $flows); do
        link_client curl -s -o /dev/null --max-time $probeSeconds "$LINK_HTTP/probe.bin" &
        pids+=($!)
    done
    wait "${pids[@]}" || true
    sleep 1 # what is still on the line arrives
    after=$(link_counters)
    ip -n "$LINK_CLIENT_NS" route replace "$LINK_SERVER_ADDR" dev vhcli src "$LINK_CLIENT_ADDR"
    echo "$before $after" | awk -v s=$probeSeconds -v n=$flows -v kib=$((probeWindow / 1024)) '{
        sent = $6 - $1; got = $9 - $4; acks = $8 - $3; acksGot = $7 - $2
        printf "loss server->client: %.3f %% of %d packets; client->server: %.3f %% of %d packets " \
            "(%d flows of a %d KiB window, %d s)\n", 100 * (sent - got) / sent, sent, 100 * (acks - acksGot) / acks,
            acks, n, kib, s }'
    link_relay_counters | sed 's/^/  relay so far: /'

    # Four flows at once; the line counted from 5 s to 20 s, past the start-up, inside the client namespace (each
    # count beside its own clock reading): the IP packets its device took in, and the file bytes its TCP took in order
    # (duplicates of retransmitted packets not counted).
    local rampSeconds=5 window=15 cpuBefore cpuAfter
    pids=()
    for f in $(seq $flows); do
        link_client curl -s -o /dev/null --max-time $((rampSeconds + window + 2)) "$LINK_HTTP/probe.bin" &
        pids+=($!)
    done
    sleep $rampSeconds
    cpuBefore=$(link_relay_cpu_ticks)
    ip netns exec "$LINK_CLIENT_NS" bash -c '
        sample() {
            local t0=$EPOCHREALTIME bytes in
            read -r bytes </sys/class/net/vhcli/statistics/rx_bytes
            in=$(ss -Hti state established | grep -o "bytes_received:[0-9]*" | awk -F: "{ s += \$2 } END { print s }")
            echo "$t0 $EPOCHREALTIME $bytes $in"
        }
        sample; sleep "$1"; sample' _ $window >"$LINK_DIR/rate"
    cpuAfter=$(link_relay_cpu_ticks)
    wait "${pids[@]}" || true
    tr '\n' ' ' <"$LINK_DIR/rate" | awk -v n=$flows -v r=$rampSeconds -v cpu=$((cpuAfter - cpuBefore)) \
        -v hz="$(getconf CLK_TCK)" '{
        seconds = ($5 + $6) / 2 - ($1 + $2) / 2
        printf "%d flows, from %d s for %.2f s: %.1f Mbit/s of file bytes, %.1f Mbit/s of IP packets into the " \
            "client; relay %.0f %% of one core\n", n, r, seconds, ($8 - $4) * 8 / seconds / 1e6,
            ($7 - $3) * 8 / seconds / 1e6, 100 * cpu / hz / seconds }'
    link_relay_counters | sed 's/^/  relay so far: /'
    rm -f "$probe"
}

link_main() {
    set -euo pipefail
    local command=${1:-measure}
    shift || true
    case $command in
    measure)
        link_up
        link_measure
        ;;
    run)
        link_up
        "$@"
        ;;
    *)
        echo "usage: $0 [measure | run COMMAND...]" >&2
        exit 2
        ;;
    esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    link_main "$@"
fi
