#!/bin/sh
# Answers per second of the headless agent and of the system's SNMP daemon, measured in turns
# with the same load generator and request (Get of sysDescr.0 and sysUpTime.0).
#   bench/snmp/compare.sh BUILD_DIR [SECONDS] [IN_FLIGHT] [ROUNDS]
set -u
usage() { sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//'; }
for arg in "$@"; do
    case "$arg" in
    --help | -h) usage; exit 0 ;;
    -*) echo "compare.sh: unknown option '$arg'" >&2; usage >&2; exit 2 ;;
    esac
done
[ $# -le 4 ] || { echo "compare.sh: too many arguments" >&2; usage >&2; exit 2; }
BUILD=${1:?build directory}
SECS=${2:-5}
INFLIGHT=${3:-64}
ROUNDS=${4:-3}
LOAD=$BUILD/bench/snmp_load
AGENT=$BUILD/bin/mibagent
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
printf 'rocommunity orchid 127.0.0.1\ndontLogTCPWrappersConnects yes\n' > "$WORK/snmpd.conf"

free_port() {
    python3 -c 'import socket;s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM);s.bind(("127.0.0.1",0));print(s.getsockname()[1])'
}

for round in $(seq "$ROUNDS"); do
    port=$(free_port)
    "$AGENT" --headless --port "$port" > "$WORK/agent.log" 2>&1 &
    pid=$!
    sleep 0.5
    echo "mibagent round $round: $("$LOAD" 127.0.0.1 "$port" "$SECS" "$INFLIGHT")"
    kill "$pid"; wait "$pid" 2>/dev/null

    port=$(free_port)
    /usr/sbin/snmpd -f -Lo -C -c "$WORK/snmpd.conf" -p "$WORK/snmpd.pid" -M /dev/null "udp:127.0.0.1:$port" \
        > "$WORK/snmpd.log" 2>&1 &
    pid=$!
    sleep 1
    echo "snmpd    round $round: $("$LOAD" 127.0.0.1 "$port" "$SECS" "$INFLIGHT")"
    kill "$pid"; wait "$pid" 2>/dev/null
done
