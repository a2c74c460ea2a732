# Shared by the test servers of tests/peers (sourced, not run): the test account and its
# password, free ports on 127.0.0.1, and a private inetd whose writes to /run stay in the
# caller's directory. The sourcing script sets PEER (its name, for messages) first.

ACCOUNT=volttcp-tester
HOME_DIR=/var/lib/$ACCOUNT
INETD=/usr/sbin/inetd

die() { echo "$PEER: $*" >&2; exit 1; }

need_root() {  # need_root WHY
  [ "$(id -u)" -eq 0 ] || die "needs root ($1)"
  [ -x "$INETD" ] || die "$INETD is missing (Debian package openbsd-inetd)"
}

need_logins() {
  # An administrator's "no logins" stays in force; see serve_inetd for the boot-time flag.
  [ ! -e /etc/nologin ] || die "/etc/nologin exists: the system refuses logins"
}

need_ptys() {
  [ -c /dev/pts/ptmx ] || die "no pseudo-terminals: /dev/pts is not mounted"
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
  home=$(account_home)
  if [ ! -d "$home" ]; then
    install -d -o "$ACCOUNT" -g "$(id -gn "$ACCOUNT")" -m 755 "$home"
  fi
}

account_home() { getent passwd "$ACCOUNT" | cut -d: -f6; }

new_password() {  # new_password FILE: a fresh password for the account, also written to FILE
  # 15 characters: the remote execution server takes no longer password.
  local password
  password=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom 2>/dev/null | head -c 15 || true)
  [ ${#password} -eq 15 ] || die "could not read random bytes"
  echo "$ACCOUNT:$password" | chpasswd
  (umask 077 && echo "$password" >"$1")
}

lock_account() {
  # No usable password and no trusted hosts between runs.
  if getent passwd "$ACCOUNT" >/dev/null; then
    usermod --lock "$ACCOUNT"
    rm -f "$(account_home)/.rhosts"
  fi
}

port_listening() {  # port_listening PORT: a socket in LISTEN on 127.0.0.1:PORT
  local hex
  hex=$(printf '0100007F:%04X' "$1")
  awk -v a="$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

free_port() {  # a port from the dynamic range that nothing listens on now
  local tries port
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    port=$(( 49152 + $(od -An -N2 -tu2 /dev/urandom) % 16000 ))
    port_listening "$port" || break
  done
  echo "$port"
}

check_port() {  # check_port PORT
  [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -gt 0 ] && [ "$1" -lt 65536 ] || die "bad port: $1"
  [ "$1" -ge 1024 ] || die "port $1 belongs to the system"
}

serve_inetd() {  # serve_inetd DIR: becomes the inetd of DIR/inetd.conf, output to DIR/inetd.log
  local dir=$1
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
        echo "'"$PEER"': /run/inetd.pid belongs to another inetd and /run cannot be made private" >&2
        exit 1
      fi
      exec "$2" -d "$1/inetd.conf"' sh "$dir" "$INETD" >"$dir/inetd.log" 2>&1
  fi
  [ ! -e /run/inetd.pid ] || die "/run/inetd.pid belongs to another inetd and /run cannot be made private"
  exec "$INETD" -d "$dir/inetd.conf" >"$dir/inetd.log" 2>&1
}

start_server() {  # start_server DIR PORT...: runs "$0 serve DIR PORT..." until every port listens
  local dir=$1
  shift
  rm -f "$dir/inetd.pid" "$dir/password"
  setsid "$0" serve "$dir" "$@" </dev/null >/dev/null 2>"$dir/serve.err" &
  local server=$! waited pid port up
  for waited in $(seq 1 100); do
    up=1
    for port in "$@"; do
      port_listening "$port" || up=0
    done
    if [ "$up" -eq 1 ] && [ -s "$dir/password" ]; then
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
  stop_server "$dir"
  die "nothing listens on 127.0.0.1:$* after 10 s"
}

stop_server() {  # stop_server DIR: stops DIR's inetd and locks the account
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
  lock_account
}
