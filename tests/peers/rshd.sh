#!/usr/bin/env bash
# Private remote execution, remote shell and remote login servers on 127.0.0.1 for
# end-to-end tests: in.rexecd, in.rshd and in.rlogind under their own inetd, each on a port
# of its own. Logins go into a test account whose password is new each run (for rexec) and
# which trusts this host for the test's lifetime (.rhosts, for rsh and rlogin).
#
#   rshd.sh start DIR [REXEC RSH RLOGIN]  start in the background; prints
#                                         "REXEC RSH RLOGIN USER PASSWORD" (the ports)
#   rshd.sh stop DIR                      stop the servers started in DIR, lock the account
#   rshd.sh serve DIR REXEC RSH RLOGIN    prepare DIR and become the server (for a parent
#                                         that keeps the process and stops it by its pid)
#   rshd.sh lock                          lock the account until the next run
#
# DIR is a directory of the caller's: the inetd configuration, its output, the password
# (mode 600) and the server's pid live there. Needs root, rsh-server and inetd.
set -euo pipefail

PEER=rshd.sh
# shellcheck source=tests/peers/peer-common.sh
. "$(dirname "$(readlink -f "$0")")/peer-common.sh"
SERVERS=(in.rexecd in.rshd in.rlogind)

serve() {
  local dir=$1
  shift
  local port server
  for port in "$@"; do check_port "$port"; done
  need_root "it creates an account and starts login services"
  for server in "${SERVERS[@]}"; do
    [ -x "/usr/sbin/$server" ] || die "/usr/sbin/$server is missing (Debian package rsh-server)"
  done
  [ -x /bin/login ] || die "/bin/login is missing"
  need_ptys
  need_logins
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  ensure_account
  new_password "$dir/password"
  # The servers look 127.0.0.1 up as this host's name; both forms are trusted, for the
  # account itself and for root (as whom rsh-client runs: no more than root could do anyway).
  local rhosts
  rhosts="$(account_home)/.rhosts"
  printf '%s %s\n' localhost "$ACCOUNT" 127.0.0.1 "$ACCOUNT" localhost root 127.0.0.1 root >"$rhosts"
  chown "$ACCOUNT:" "$rhosts"
  chmod 600 "$rhosts"
  echo "$*" >"$dir/ports"
  # The servers straight from inetd, no tcpd: the machine's hosts.deny has no say over test
  # servers that only listen on loopback.
  : >"$dir/inetd.conf"
  local i=0
  for server in "${SERVERS[@]}"; do
    i=$((i + 1))
    printf '127.0.0.1:%s\tstream\ttcp4\tnowait\troot\t/usr/sbin/%s\t%s\n' "${!i}" "$server" "$server" \
      >>"$dir/inetd.conf"
  done
  serve_inetd "$dir"
}

start() {
  local dir
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  shift
  local ports=("$@")
  if [ ${#ports[@]} -eq 0 ]; then
    ports=("$(free_port)")
    while [ ${#ports[@]} -lt 3 ]; do
      local next
      next=$(free_port)
      [[ " ${ports[*]} " == *" $next "* ]] || ports+=("$next")
    done
  fi
  start_server "$dir" "${ports[@]}"
  echo "${ports[*]} $ACCOUNT $(cat "$dir/password")"
}

case "${1:-}" in
  start) [ $# -eq 2 ] || [ $# -eq 5 ] || die "usage: rshd.sh start DIR [REXEC RSH RLOGIN]"; shift; start "$@" ;;
  stop) [ $# -eq 2 ] || die "usage: rshd.sh stop DIR"; stop_server "$(cd "$2" && pwd)" ;;
  serve) [ $# -eq 5 ] || die "usage: rshd.sh serve DIR REXEC RSH RLOGIN"; shift; serve "$@" ;;
  lock) lock_account ;;
  *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
