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

ACCOUNT=volttcp-tester
HOME_DIR=/var/lib/$ACCOUNT
TELNETD=/usr/sbin/telnetd
INETD=/usr/sbin/inetd

die() { echo "telnetd.sh: $*" >&2; exit 1; }

check_host() {
  [ "$(id -u)" -eq 0 ] || die "needs root (it creates an account and starts a login service)"
  [ -x "$TELNETD" ] || die "$TELNETD is missing (Debian package inetutils-telnetd)"
  [ -x "$INETD" ] || die "$INETD is missing (Debian package openbsd-inetd)"
  [ -x /bin/login ] || die "/bin/login is missing"
  [ -c /dev/pts/ptmx ] || die "no pseudo-terminals: /dev/pts is not mounted"
  # An administrator's "no logins" stays in force; see serve for the boot-time flag.
  [ ! -e /etc/nologin ] || die "/etc/nologin exists: the system refuses logins"
}

ensure_account() {
  if ! getent passwd "$ACCOUNT" >/dev/null; then
    # A system account: no mail spool, and display managers do not list it.
    useradd --system --create-home --home-dir "$HOME_DIR" --shell /bin/sh \
      --comment "VoltTCP test logins" "$ACCOUNT"
  fi
  # The tests expect a plain POSIX shell's prompt.
  if [ "$(getent passwd "$ACCOUNT" | cut -d: -f7)" != /bin/sh ]; then
    usermod --shell /bin/sh "$ACCOUNT"
  fi
  local home
  home=$(getent passwd "$ACCOUNT" | cut -d: -f6)
  if [ ! -d "$home" ]; then
    install -d -o "$ACCOUNT" -g "$(id -gn "$ACCOUNT")" -m 755 "$home"
  fi
}

new_password() {
  local password
  password=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom 2>/dev/null | head -c 24 || true)
  [ ${#password} -eq 24 ] || die "could not read random bytes"
  echo "$ACCOUNT:$password" | chpasswd
  (umask 077 && echo "$password" >"$1")
}

port_listening() {  # port_listening PORT: a socket in LISTEN on 127.0.0.1:PORT
  local hex
  hex=$(printf '0100007F:%04X' "$1")
  awk -v a="$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

serve() {
  local dir=$1 port=$2
  [[ "$port" =~ ^[0-9]+$ ]] && [ "$port" -gt 0 ] && [ "$port" -lt 65536 ] || die "bad port: $port"
  [ "$port" -ne 23 ] || die "port 23 belongs to the system"
  check_host
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  ensure_account
  new_password "$dir/password"
  echo "$port" >"$dir/port"
  # telnetd straight from inetd, no tcpd: the machine's hosts.deny has no say over a test
  # server that only listens on loopback.
  printf '127.0.0.1:%s\tstream\ttcp4\tnowait\troot\t%s\ttelnetd\n' "$port" "$TELNETD" >"$dir/inetd.conf"
  echo $$ >"$dir/inetd.pid"

  # inetd writes /run/inetd.pid even in debug mode and removes it on exit, which would
  # take the system inetd's pid file. In a private mount namespace /run becomes an overlay
  # whose writes (that pid file, login's utmp records) stay in DIR; the boot-time
  # /run/nologin, left behind in containers whose init never finishes booting, is hidden
  # there too, for this server's logins only.
  if unshare --mount --propagation private true 2>/dev/null; then
    mkdir -p "$dir/run.upper" "$dir/run.work"
    exec unshare --mount --propagation private -- /bin/sh -c '
      if mount -t overlay volttcp-run -o "lowerdir=/run,upperdir=$1/run.upper,workdir=$1/run.work" /run; then
        rm -f /run/nologin
      elif [ -e /run/inetd.pid ]; then
        echo "telnetd.sh: /run/inetd.pid belongs to another inetd and /run cannot be made private" >&2
        exit 1
      fi
      exec "$2" -d "$1/inetd.conf"' sh "$dir" "$INETD" >"$dir/inetd.log" 2>&1
  fi
  [ ! -e /run/inetd.pid ] || die "/run/inetd.pid belongs to another inetd and /run cannot be made private"
  exec "$INETD" -d "$dir/inetd.conf" >"$dir/inetd.log" 2>&1
}

start() {
  local dir port=${2:-}
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  rm -f "$dir/inetd.pid" "$dir/password"
  if [ -z "$port" ]; then
    # A port from the dynamic range that nothing listens on now.
    local tries
    for tries in 1 2 3 4 5 6 7 8 9 10; do
      port=$(( 49152 + $(od -An -N2 -tu2 /dev/urandom) % 16000 ))
      port_listening "$port" || break
    done
  fi
  setsid "$0" serve "$dir" "$port" </dev/null >/dev/null 2>"$dir/serve.err" &
  local server=$! waited pid
  for waited in $(seq 1 100); do
    if port_listening "$port" && [ -s "$dir/password" ]; then
      echo "$port $ACCOUNT $(cat "$dir/password")"
      return 0
    fi
    pid=$(cat "$dir/inetd.pid" 2>/dev/null || echo "$server")
    if ! kill -0 "$pid" 2>/dev/null; then
      cat "$dir/serve.err" "$dir/inetd.log" >&2 2>/dev/null || true
      die "the server stopped while starting"
    fi
    sleep 0.1
  done
  cat "$dir/serve.err" "$dir/inetd.log" >&2 2>/dev/null || true
  stop "$dir"
  die "nothing listens on 127.0.0.1:$port after 10 s"
}

stop() {
  local dir=$1 pid
  pid=$(cat "$dir/inetd.pid" 2>/dev/null || true)
  # Only a pid that is still this directory's inetd.
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/inetd.conf"; then
    kill "$pid"
    local waited
    for waited in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$dir/inetd.pid"
  lock
}

lock() {
  if getent passwd "$ACCOUNT" >/dev/null; then
    usermod --lock "$ACCOUNT"
  fi
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: telnetd.sh start DIR [PORT]"; start "$2" "${3:-}" ;;
  stop) [ $# -eq 2 ] || die "usage: telnetd.sh stop DIR"; stop "$(cd "$2" && pwd)" ;;
  serve) [ $# -eq 3 ] || die "usage: telnetd.sh serve DIR PORT"; serve "$2" "$3" ;;
  lock) lock ;;
  *) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
