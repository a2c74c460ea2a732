#!/usr/bin/env bash
# A private vsftpd on 127.0.0.1 for end-to-end tests: its own configuration, a free port, a
# test account whose password is new each run, and the files under DIR/root.
#
#   vsftpd.sh start DIR   start in the background; prints "PORT USER PASSWORD"
#   vsftpd.sh stop DIR    stop the server started in DIR and lock the account
#
# Needs root (vsftpd checks passwords through PAM and switches to the account) and the
# Debian package vsftpd. The system's own vsftpd service is neither used nor touched.
set -euo pipefail

ACCOUNT=volttcp-ftp
VSFTPD=/usr/sbin/vsftpd

# A process that has ended but waits for its parent to collect it counts as gone.
running() { [ -r "/proc/$1/stat" ] && [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" != Z ]; }

port_used() {  # port_used PORT: any socket on that local port, whatever its address or state
  local hex
  hex=$(printf ':%04X' "$1")
  awk -v p="$hex" 'substr($2, length($2) - 4) == p { found = 1 } END { exit !found }' /proc/net/tcp /proc/net/tcp6
}

die() { echo "vsftpd.sh: $*" >&2; exit 1; }

port_listening() {  # port_listening PORT: a socket in LISTEN on 127.0.0.1:PORT
  local hex
  hex=$(printf '0100007F:%04X' "$1")
  awk -v a="$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

start() {
  [ "$(id -u)" -eq 0 ] || die "needs root (PAM logins into a test account)"
  [ -x "$VSFTPD" ] || die "$VSFTPD is missing (Debian package vsftpd)"
  [ -e /etc/pam.d/vsftpd ] || die "/etc/pam.d/vsftpd is missing (Debian package vsftpd)"
  local dir port password tries
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  if ! getent passwd "$ACCOUNT" >/dev/null; then
    # pam_shells wants a shell from /etc/shells.
    useradd --system --no-create-home --home-dir /nonexistent --shell /bin/sh \
      --comment "VoltTCP FTP test logins" "$ACCOUNT"
  fi
  password=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom 2>/dev/null | head -c 24 || true)
  [ ${#password} -eq 24 ] || die "could not read random bytes"
  echo "$ACCOUNT:$password" | chpasswd
  mkdir -p "$dir/root" "$dir/empty"
  # vsftpd enters the home directory before local_root: the home is this run's root.
  usermod --unlock --home "$dir/root" "$ACCOUNT" >/dev/null
  chown "$ACCOUNT" "$dir/root"
  chmod 755 "$dir" "$dir/root"
  chmod 555 "$dir/empty"
  # A random port of the dynamic range; vsftpd ends at once when another socket has it, and
  # then the next port is tried.
  local attempt
  for attempt in 1 2 3 4 5; do
    for tries in 1 2 3 4 5 6 7 8 9 10; do
      port=$(( 49152 + $(od -An -N2 -tu2 /dev/urandom) % 16000 ))
      port_used "$port" || break
    done
    if serve "$dir" "$port"; then
      echo "$port $ACCOUNT $password"
      return 0
    fi
  done
  cat "$dir/vsftpd.out" >&2
  stop "$dir"
  die "vsftpd did not start on any of 5 ports"
}

serve() {  # serve DIR PORT: true once the server listens
  local dir=$1 port=$2
  cat >"$dir/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$dir/root
chroot_local_user=NO
secure_chroot_dir=$dir/empty
pam_service_name=vsftpd
seccomp_sandbox=NO
async_abor_enable=YES
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
xferlog_enable=YES
vsftpd_log_file=$dir/vsftpd.log
CONF
  echo "$port" >"$dir/port"
  setsid "$VSFTPD" "$dir/vsftpd.conf" </dev/null >"$dir/vsftpd.out" 2>&1 &
  echo $! >"$dir/vsftpd.pid"
  local waited
  for waited in $(seq 1 100); do
    port_listening "$port" && return 0
    running "$(cat "$dir/vsftpd.pid")" || return 1
    sleep 0.05
  done
  return 1
}

stop() {
  local dir=$1 pid
  pid=$(cat "$dir/vsftpd.pid" 2>/dev/null || true)
  # Only a pid that is still this directory's server; its sessions are in its process group.
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/vsftpd.conf"; then
    kill -- "-$pid" 2>/dev/null || kill "$pid"
    local waited
    for waited in $(seq 1 50); do
      running "$pid" || break
      sleep 0.02
    done
  fi
  rm -f "$dir/vsftpd.pid"
  if getent passwd "$ACCOUNT" >/dev/null; then
    usermod --lock "$ACCOUNT"
  fi
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: vsftpd.sh start DIR"; start "$2" ;;
  stop) [ $# -eq 2 ] || die "usage: vsftpd.sh stop DIR"; stop "$(cd "$2" && pwd)" ;;
  *) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
