#!/usr/bin/env bash
# A private POP3 server on 127.0.0.1 for end-to-end tests: dovecot with its own configuration,
# run directory and log in DIR, never the system's service or /etc/dovecot.
#
#   dovecot.sh start DIR [PORT]       start in the background; prints "PORT PASSWORD"
#   dovecot.sh mailbox DIR USER [make_mailbox.py options]
#                                     (re)write USER's mailbox and DIR/USER.manifest
#   dovecot.sh stop DIR               stop the server started in DIR
#
# Accounts: "tester" (the generated mailbox) and "empty" (no messages), both with the
# password printed by start; any other name or password is refused. As root the mail
# processes run as nobody; otherwise everything runs as the caller.
set -euo pipefail

DOVECOT=/usr/sbin/dovecot
HERE=$(cd "$(dirname "$0")" && pwd)

die() { echo "dovecot.sh: $*" >&2; exit 1; }

port_listening() {  # port_listening PORT: a socket in LISTEN on 127.0.0.1:PORT
  local hex
  hex=$(printf '0100007F:%04X' "$1")
  awk -v a="$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mail_owner() {  # the uid:gid the mail processes run as
  if [ "$(id -u)" -eq 0 ]; then echo "$(id -u nobody):$(getent group nogroup | cut -d: -f3)"; else echo "$(id -u):$(id -g)"; fi
}

write_config() {  # write_config DIR PORT
  local dir=$1 port=$2 owner uid gid users
  owner=$(mail_owner); uid=${owner%%:*}; gid=${owner##*:}
  if [ "$(id -u)" -eq 0 ]; then
    users="default_internal_user = dovecot
default_login_user = dovenull"
  else
    users="default_internal_user = $(id -un)
default_login_user = $(id -un)
service pop3-login {
  chroot =
}"
  fi
  cat >"$dir/dovecot.conf" <<CONF
# Written by tests/peers/dovecot.sh for one test run.
instance_name = volttcp-pop3-$port
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
first_valid_uid = 1
first_valid_gid = 1
$users
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/home/%u
}
mail_location = maildir:~/Maildir
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0
  }
  unix_listener stats-writer {
    mode = 0666
  }
}
CONF
}

mailbox() {  # mailbox DIR USER [options]
  local dir=$1 user=$2; shift 2
  local maildir=$dir/home/$user/Maildir
  rm -rf "$dir/home/$user"
  mkdir -p "$dir/home/$user"
  if [ "$user" = empty ]; then
    mkdir -p "$maildir/cur" "$maildir/new" "$maildir/tmp"
    : >"$dir/$user.manifest"
  else
    python3 "$HERE/make_mailbox.py" "$maildir" "$dir/$user.manifest" "$@"
  fi
  chown -R "$(mail_owner)" "$dir/home/$user"
}

start() {
  local dir port=${2:-} password
  [ -x "$DOVECOT" ] || die "$DOVECOT is missing (Debian package dovecot-pop3d)"
  command -v python3 >/dev/null || die "python3 is missing"
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  [ -n "$port" ] || port=$(free_port)
  # The login and mail processes run as other users: they must reach DIR.
  chmod 755 "$dir"
  mkdir -p "$dir/home" "$dir/state"
  chmod 755 "$dir/home"
  password=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom 2>/dev/null | head -c 20 || true)
  [ ${#password} -eq 20 ] || die "could not read random bytes"
  printf 'tester:{PLAIN}%s\nempty:{PLAIN}%s\n' "$password" "$password" >"$dir/passwd"
  if [ "$(id -u)" -eq 0 ]; then chgrp dovecot "$dir/passwd"; fi
  chmod 640 "$dir/passwd"
  [ -d "$dir/home/tester" ] || mailbox "$dir" tester
  [ -d "$dir/home/empty" ] || mailbox "$dir" empty
  write_config "$dir" "$port"
  "$DOVECOT" -F -c "$dir/dovecot.conf" </dev/null >"$dir/dovecot.out" 2>&1 &
  echo $! >"$dir/dovecot.pid"
  local waited
  for waited in $(seq 1 100); do
    if port_listening "$port"; then
      echo "$port $password"
      return 0
    fi
    if ! kill -0 "$(cat "$dir/dovecot.pid")" 2>/dev/null; then
      cat "$dir/dovecot.out" "$dir/dovecot.log" >&2 2>/dev/null || true
      die "dovecot stopped while starting"
    fi
    sleep 0.1
  done
  cat "$dir/dovecot.out" "$dir/dovecot.log" >&2 2>/dev/null || true
  stop "$dir"
  die "nothing listens on 127.0.0.1:$port after 10 s"
}

stop() {
  local dir=$1 pid
  pid=$(cat "$dir/dovecot.pid" 2>/dev/null || true)
  # Only a pid that is still this directory's dovecot.
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/dovecot.conf"; then
    kill "$pid"
    local waited
    for waited in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
  fi
  rm -f "$dir/dovecot.pid"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: dovecot.sh start DIR [PORT]"; start "$2" "${3:-}" ;;
  mailbox) [ $# -ge 3 ] || die "usage: dovecot.sh mailbox DIR USER [options]"; d=$(cd "$2" && pwd); u=$3; shift 3; mailbox "$d" "$u" "$@" ;;
  stop) [ $# -eq 2 ] || die "usage: dovecot.sh stop DIR"; stop "$(cd "$2" && pwd)" ;;
  *) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
