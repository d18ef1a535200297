#!/usr/bin/env bash
# The launcher's downloads over the emulated long, lossy link (bench/emulated-link.sh), against aria2c and curl
# measured in the same run on the same files: each workload prints its figures and the launcher's ratio to each
# peer. Needs root, /dev/net/tun, nginx-light, aria2, and a build with bench-FileWorkerRun and link-relay.
#
#   bench/links-bench.sh [WORKLOAD...]     all of them when none is named; a whole run takes over an hour
#
# Workloads:
#   link         the link itself, as bench/emulated-link.sh measures it: handshake round trip, loss, throughput
#   small-bbr    2,000 files of 32 KiB, empty folder to "Ready to Play", HTTP/1.1, server on BBR
#   small-cubic  the same, server on cubic
#   small-h2     the same over https (HTTP/2 where the client speaks it), server on BBR
#   big-bbr      one 200 MiB file, HTTP/1.1, server on BBR
#   big-cubic    one 20 MiB file, HTTP/1.1, server on cubic
#   mixed        200 required files of 32 KiB and 20 optional of 20 MiB, server on BBR: when Play unlocks
#
# Settings (environment): CLIENTS, the clients to run (default "launcher curl curl-parallel aria2c"; the workloads
# take those that apply), PARALLEL (curl's --parallel-max, aria2c's -j, the launcher's "connections"; default
# 16), BUILD (default <repo>/build), and the link's own (see bench/emulated-link.sh).
set -euo pipefail
bench_dir=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/emulated-link.sh
source "$bench_dir/emulated-link.sh"

BUILD=${BUILD:-$link_root/build}
CLIENTS=${CLIENTS:-launcher curl curl-parallel aria2c}
PARALLEL=${PARALLEL:-16}
runner=$BUILD/bench/bench-FileWorkerRun
all_workloads="link small-bbr small-cubic small-h2 big-bbr big-cubic mixed"
small_count=2000
small_kib=32
mixed_required=200
mixed_optional=20
line_mbit=${LINK_RATE_MBIT:-100}

workloads=${*:-$all_workloads}
for w in $workloads; do
    [[ " $all_workloads " == *" $w "* ]] || {
        echo "unknown workload $w (known: $all_workloads)" >&2
        exit 2
    }
done
[ -x "$runner" ] || {
    echo "no $runner: cmake --build $BUILD --target bench-FileWorkerRun link-relay" >&2
    exit 1
}
command -v aria2c >/dev/null || {
    echo "aria2c is missing (scripts/install-deps)" >&2
    exit 1
}

wants() { [[ " $CLIENTS " == *" $1 "* ]]; }
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
# What nginx saw since the last call: requests, connections, protocols.
served() {
    awk '{ ++n; c[$1]; p[$2] } END { for (k in c) ++m; for (k in p) q = q (q ? "+" : "") k
        printf "[%d requests, %d connection%s, %s]", n, m, m == 1 ? "" : "s", q }' "$LINK_DIR/access.log"
    : >"$LINK_DIR/access.log"
}
summary=()
report() { # words of one line
    echo "$*"
    summary+=("$*")
}

# The served files, made once per run: random bytes (nothing compresses) and their checksums, "md5  path" lines.
make_small_files() {
    [ -f "$LINK_DIR/small.md5" ] && return
    mkdir -p "$LINK_WWW/Data/small"
    head -c $((small_count * small_kib * 1024)) /dev/urandom |
        split -b $((small_kib * 1024)) -a 4 -d --additional-suffix=.bin - "$LINK_WWW/Data/small/f"
    (cd "$LINK_WWW" && md5sum Data/small/*.bin) >"$LINK_DIR/small.md5"
}
make_file() { # path MiB
    [ -f "$LINK_WWW/$1" ] && return
    mkdir -p "$(dirname "$LINK_WWW/$1")"
    head -c $(($2 << 20)) /dev/urandom >"$LINK_WWW/$1"
}
sums_of() { (cd "$LINK_WWW" && md5sum "$@"); }

# The lists each client reads, from a file of "md5  path" lines: the address of the served folder and the lists'
# name; the launcher's list marks the first `required` entries required (all when not given).
make_lists() { # sums base name [required]
    local sums=$1 base=$2 name=$3 required=${4:-0}
    awk -v base="$base" -v r="$required" '{ printf "%d\t%s\t%s\t%s/%s\n", (r == 0 || NR <= r), $1, $2, base, $2 }' \
        "$sums" >"$LINK_DIR/$name.list"
    awk -v base="$base" '{ printf "%s/%s\n  out=%s\n  checksum=md5=%s\n", base, $2, $2, $1 }' "$sums" \
        >"$LINK_DIR/$name.aria2"
    awk -v base="$base" -v out="$LINK_DIR/out" '{ printf "url = \"%s/%s\"\noutput = \"%s/%s\"\n", base, $2, out, $2 }' \
        "$sums" >"$LINK_DIR/$name.curl"
}

# Runs one client in the client namespace, writing into the empty folder $LINK_DIR/out, and checks every file it
# wrote against the list's sums; prints the seconds it took, nothing when it failed. Its output is kept in
# $LINK_DIR/client.log.
run_client() { # sums command...
    local sums=$1 start took
    shift
    : >"$LINK_DIR/access.log"
    rm -rf "$LINK_DIR/out"
    mkdir -p "$LINK_DIR/out"
    start=$EPOCHREALTIME
    if ! (cd "$LINK_DIR/out" && link_client "$@" >"$LINK_DIR/client.log" 2>&1); then
        echo "  failed: $*; its last lines:" >&2
        tail -n 5 "$LINK_DIR/client.log" >&2
        return 0
    fi
    took=$(seconds_since "$start")
    if ! (cd "$LINK_DIR/out" && md5sum -c --quiet "$sums" >&2); then
        echo "  wrong files from: $*" >&2
        return 0
    fi
    echo "$took"
}

# The launcher's file worker over a list: "play ready" in its own seconds, less the start-up with an empty list.
run_launcher() { # list sums
    rm -rf "$LINK_DIR/cache"
    [ -n "$(run_client "$2" env XDG_CACHE_HOME="$LINK_DIR/cache" "$runner" "$1" "$LINK_DIR/out" "$PARALLEL")" ] || return 0
    awk -v s="$startup" '$1 == "play" { p = $2 } $1 == "ready" { r = $2 } END { printf "%.2f %.2f", p - s, r - s }' \
        "$LINK_DIR/client.log"
}

# One line per peer: the figure, and the launcher's ratio to it with the issue's target where it has one.
peer_line() { # label seconds launcher-seconds [target [note]]
    local line="  $1: ${2:-failed} s ${5:+$5 }$(served)"
    if [ -n "$2" ] && [ -n "$3" ]; then
        line+="; launcher / this: $(ratio "$3" "$2")"
        [ -n "${4:-}" ] && line+=" (target <= $4)"
    fi
    report "$line"
}
rate_of() { # MiB seconds
    awk -v mib="$1" -v s="$2" -v l="$line_mbit" \
        'BEGIN { m = mib * 8 * 1.048576 / s; printf "%.1f Mbit/s, %.0f %% of the line", m, 100 * m / l }'
}

small_workload() { # congestion scheme target-against-aria2c
    local congestion=$1 scheme=$2 target=$3 base
    make_small_files
    link_congestion "$congestion"
    base=$([ "$scheme" = https ] && echo "$LINK_HTTPS" || echo "$LINK_HTTP")
    make_lists "$LINK_DIR/small.md5" "$base" small
    report "== $small_count files of $small_kib KiB, empty folder to \"Ready to Play\", $scheme," \
        "server on $congestion (load $(load)) =="
    local launcher="" t
    if wants launcher; then
        read -r _ launcher <<<"$(run_launcher "$LINK_DIR/small.list" "$LINK_DIR/small.md5")" || true
        report "  launcher, today's file worker: ${launcher:-failed} s $(served)" \
            "(start-up with an empty list, $startup s, taken off)"
    fi
    if wants aria2c; then
        t=$(run_client "$LINK_DIR/small.md5" aria2c -q -j "$PARALLEL" -i "$LINK_DIR/small.aria2" -d "$LINK_DIR/out" \
            --allow-overwrite=true --auto-file-renaming=false --file-allocation=none)
        peer_line "aria2c -j $PARALLEL" "$t" "$launcher" "$target"
    fi
    if wants curl-parallel; then
        t=$(run_client "$LINK_DIR/small.md5" curl -s --fail --create-dirs --parallel --parallel-max "$PARALLEL" \
            -K "$LINK_DIR/small.curl")
        peer_line "curl --parallel --parallel-max $PARALLEL" "$t" "$launcher"
    fi
    if wants curl; then
        t=$(run_client "$LINK_DIR/small.md5" curl -s --fail --create-dirs -K "$LINK_DIR/small.curl")
        peer_line "curl, one after another on one connection" "$t" "$launcher"
    fi
}

big_workload() { # congestion MiB
    local congestion=$1 mib=$2 name=Data/big$2.bin
    make_file "$name" "$mib"
    link_congestion "$congestion"
    sums_of "$name" >"$LINK_DIR/big$mib.md5"
    make_lists "$LINK_DIR/big$mib.md5" "$LINK_HTTP" "big$mib"
    report "== one $mib MiB file, http, server on $congestion (load $(load)) =="
    local launcher="" t
    if wants launcher; then
        read -r _ launcher <<<"$(run_launcher "$LINK_DIR/big$mib.list" "$LINK_DIR/big$mib.md5")" || true
        report "  launcher, today's file worker: ${launcher:-failed} s${launcher:+ ($(rate_of "$mib" "$launcher"))}" \
            "$(served)"
    fi
    if wants aria2c; then
        # -k 1M: aria2c splits only pieces of at least this size, and its default (20M) would leave a 20 MiB
        # file in one piece.
        t=$(run_client "$LINK_DIR/big$mib.md5" aria2c -q -x 16 -s 16 -k 1M -d "$LINK_DIR/out" -o "$name" \
            --checksum=md5="$(cut -d' ' -f1 "$LINK_DIR/big$mib.md5")" --allow-overwrite=true \
            --auto-file-renaming=false --file-allocation=none "$LINK_HTTP/$name")
        peer_line "aria2c -x 16 -s 16 -k 1M" "$t" "$launcher" 1.0 "${t:+($(rate_of "$mib" "$t"))}"
    fi
    if wants curl; then
        t=$(run_client "$LINK_DIR/big$mib.md5" curl -s --fail --create-dirs -o "$name" "$LINK_HTTP/$name")
        peer_line "curl, one connection" "$t" "$launcher" "" "${t:+($(rate_of "$mib" "$t"))}"
    fi
}

mixed_workload() {
    local i names=()
    make_small_files
    for ((i = 0; i < mixed_optional; ++i)); do
        names+=("Data/optional/o$i.bin")
        make_file "${names[-1]}" 20
    done
    link_congestion bbr
    { head -n $mixed_required "$LINK_DIR/small.md5" && sums_of "${names[@]}"; } >"$LINK_DIR/mixed.md5"
    make_lists "$LINK_DIR/mixed.md5" "$LINK_HTTP" mixed $mixed_required
    head -n $mixed_required "$LINK_DIR/mixed.md5" >"$LINK_DIR/required.md5"
    make_lists "$LINK_DIR/required.md5" "$LINK_HTTP" required
    report "== $mixed_required required files of $small_kib KiB and $mixed_optional optional of 20 MiB, http," \
        "server on bbr (load $(load)) =="
    local play="" ready="" t
    if wants launcher; then
        read -r play ready <<<"$(run_launcher "$LINK_DIR/mixed.list" "$LINK_DIR/mixed.md5")" || true
        report "  launcher, today's file worker: Play unlocks after ${play:-failed} s," \
            "\"Ready to Play\" after ${ready:-failed} s $(served)"
    fi
    if wants aria2c; then
        # What the line allows before Play: the required files alone, fetched as fast as a peer can.
        t=$(run_client "$LINK_DIR/required.md5" aria2c -q -j "$PARALLEL" -i "$LINK_DIR/required.aria2" \
            -d "$LINK_DIR/out" --allow-overwrite=true --auto-file-renaming=false --file-allocation=none)
        peer_line "aria2c -j $PARALLEL, the $mixed_required required files alone" "$t" "$play"
    fi
}

link_up
echo "launcher: $runner; clients: $CLIENTS" >&2
# The start-up the file worker pays with nothing to fetch, taken off each of its figures.
printf '' >"$LINK_DIR/empty.list"
link_client "$runner" "$LINK_DIR/empty.list" "$LINK_DIR/empty" >"$LINK_DIR/client.log"
startup=$(awk '$1 == "ready" { print $2 }' "$LINK_DIR/client.log")

for w in $workloads; do
    case $w in
    link) link_measure ;;
    small-bbr) small_workload bbr http 1.0 ;;
    small-cubic) small_workload cubic http 1.0 ;;
    small-h2) small_workload bbr https 0.5 ;;
    big-bbr) big_workload bbr 200 ;;
    big-cubic) big_workload cubic 20 ;;
    mixed) mixed_workload ;;
    esac
done
echo
echo "Summary (${LINK_DELAY_MS:-75} ms each way, loss ${LINK_LOSS:-0.005} each way, $line_mbit Mbit/s;" \
    "load at the end $(load)):"
printf '%s\n' "${summary[@]}"
