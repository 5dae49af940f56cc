#!/usr/bin/env bash
# cputemp-textfile as the real Prometheus node exporter reads it: the exporter
# started on a free loopback port with its textfile collector alone, at a
# directory of this test's, and /metrics scraped after each run: a sensor at
# 45 C, then none. The exporter is stopped whatever the outcome.
# Usage: node_exporter.sh BUILD_DIR
set -euo pipefail
build=$1
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
exporter=$(command -v prometheus-node-exporter || command -v node_exporter) ||
    skip "no node exporter (Debian's prometheus-node-exporter)"
work=$(mktemp -d)
pid=
stop() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    pid=
}
trap 'stop; rm -rf "$work"' EXIT
mkdir "$work/textfile"

# metrics: /metrics as the exporter serves it, over HTTP/1.0, body only.
metrics() {
    local reply
    exec 3<>"/dev/tcp/127.0.0.1/$port" || return 1
    printf 'GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
    reply=$(cat <&3)
    exec 3<&-
    [[ $reply == "HTTP/1.0 200"* || $reply == "HTTP/1.1 200"* ]] || return 1
    printf '%s\n' "${reply#*$'\r\n\r\n'}"
}

# free_port: a port no socket is bound to, as the kernel lists them.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 30000))
        awk -v hex="$(printf ':%04X' "$port")" 'NR > 1 && substr($2, length($2) - 4) == hex { found = 1 }
            END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null || break
    done
    echo "$port"
}

# Should another process take the port before the exporter does, another one.
for attempt in 1 2 3; do
    port=$(free_port)
    "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
        --collector.textfile --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        metrics >/dev/null 2>&1 && break 2
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    stop
    [ "$attempt" -lt 3 ] || { cat "$work/exporter.log"; fail "the exporter did not serve /metrics"; }
done
echo "node exporter $("$exporter" --version 2>&1 | head -n 1 | awk '{ print $3 }') on 127.0.0.1:$port"

# has LINE: the scraped metrics hold LINE exactly.
has() { grep -qxF "$1" "$work/metrics" || fail "no line '$1' in /metrics: $(grep cputemp "$work/metrics")"; }

printf '45000\n' >"$work/temp"
CPUTEMP_SENSOR=$work/temp "$build/cputemp-textfile" "$work/textfile" || fail "cputemp-textfile exited $?"
printf '%s\n' '# HELP cputemp_celsius CPU temperature read by cputemp, in degrees Celsius.' \
    '# TYPE cputemp_celsius gauge' 'cputemp_celsius 45' \
    '# HELP cputemp_up Whether cputemp read a temperature (1) or not (0).' \
    '# TYPE cputemp_up gauge' 'cputemp_up 1' >"$work/want"
cmp "$work/textfile/cputemp.prom" "$work/want" || fail "cputemp.prom: $(cat "$work/textfile/cputemp.prom")"
[ "$(ls -A "$work/textfile")" = cputemp.prom ] || fail "left beside it: $(ls -A "$work/textfile")"
metrics >"$work/metrics" || fail "no /metrics"
has 'cputemp_celsius 45'
has 'cputemp_up 1'
has 'node_textfile_scrape_error 0'
echo "ok a sensor at 45 C"

CPUTEMP_SENSOR=$work/none "$build/cputemp-textfile" "$work/textfile" || fail "cputemp-textfile exited $?"
metrics >"$work/metrics" || fail "no /metrics"
has 'cputemp_up 0'
has 'node_textfile_scrape_error 0'
! grep -q '^cputemp_celsius' "$work/metrics" || fail "a temperature without a sensor"
echo "ok no sensor"
