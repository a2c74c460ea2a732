#!/usr/bin/env bash
# A private Telnet server on 127.0.0.1 for end-to-end tests: telnetd under its own inetd,
# logins through the system's /bin/login into a test account whose password is new each run.
#
#   telnetd.sh start DIR [PORT]   start in the background; prints "PORT USER PASSWORD"
#   telnetd.sh stop DIR           stop the server started in DIR and lock the account
#   telnetd.sh serve DIR PORT     prepare DIR and become the server (for a parent that
#                                 keeps the process and stops it by its pid)
#   telnetd.sh lock               lock the account's password until the next run
#
# DIR is a directory of the caller's: the inetd configuration, its output, the password
# (mode 600) and the server's pid live there. Needs root, telnetd and inetd.
set -euo pipefail

PEER=telnetd.sh
# shellcheck source=tests/peers/peer-common.sh
. "$(dirname "$(readlink -f "$0")")/peer-common.sh"
TELNETD=/usr/sbin/telnetd

serve() {
  local dir=$1 port=$2
  check_port "$port"
  need_root "it creates an account and starts a login service"
  [ -x "$TELNETD" ] || die "$TELNETD is missing (Debian package inetutils-telnetd)"
  [ -x /bin/login ] || die "/bin/login is missing"
  need_ptys
  need_logins
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  ensure_account
  new_password "$dir/password"
  echo "$port" >"$dir/port"
  # telnetd straight from inetd, no tcpd: the machine's hosts.deny has no say over a test
  # server that only listens on loopback.
  printf '127.0.0.1:%s\tstream\ttcp4\tnowait\troot\t%s\ttelnetd\n' "$port" "$TELNETD" >"$dir/inetd.conf"
  serve_inetd "$dir"
}

start() {
  local dir port=${2:-}
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  [ -n "$port" ] || port=$(free_port)
  start_server "$dir" "$port"
  echo "$port $ACCOUNT $(cat "$dir/password")"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: telnetd.sh start DIR [PORT]"; start "$2" "${3:-}" ;;
  stop) [ $# -eq 2 ] || die "usage: telnetd.sh stop DIR"; stop_server "$(cd "$2" && pwd)" ;;
  serve) [ $# -eq 3 ] || die "usage: telnetd.sh serve DIR PORT"; serve "$2" "$3" ;;
  lock) lock_account ;;
  *) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
