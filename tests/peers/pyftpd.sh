#!/usr/bin/env bash
# A private pyftpdlib server on 127.0.0.1 for end-to-end tests (see pyftpd.py).
#
#   pyftpd.sh start DIR   start in the background; prints "PORT USER PASSWORD"
#   pyftpd.sh stop DIR    stop the server started in DIR
#
# Needs the Debian package python3-pyftpdlib; no root.
set -euo pipefail

PYTHON=/usr/bin/python3
HERE=$(cd "$(dirname "$0")" && pwd)

# A process that has ended but waits for its parent to collect it counts as gone.
running() { [ -r "/proc/$1/stat" ] && [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" != Z ]; }

die() { echo "pyftpd.sh: $*" >&2; exit 1; }

start() {
  local dir
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
  "$PYTHON" -c 'import pyftpdlib' 2>/dev/null || die "pyftpdlib is missing (Debian package python3-pyftpdlib)"
  rm -f "$dir/ready"
  setsid "$PYTHON" "$HERE/pyftpd.py" "$dir" </dev/null >"$dir/pyftpd.out" 2>&1 &
  echo $! >"$dir/pyftpd.pid"
  local waited
  for waited in $(seq 1 100); do
    if [ -s "$dir/ready" ]; then
      cat "$dir/ready"
      return 0
    fi
    kill -0 "$(cat "$dir/pyftpd.pid")" 2>/dev/null || { cat "$dir/pyftpd.out" >&2; die "the server stopped while starting"; }
    sleep 0.05
  done
  stop "$dir"
  die "the server did not start within 5 s"
}

stop() {
  local dir=$1 pid
  pid=$(cat "$dir/pyftpd.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir"; then
    kill "$pid"
    local waited
    for waited in $(seq 1 50); do
      running "$pid" || break
      sleep 0.02
    done
  fi
  rm -f "$dir/pyftpd.pid"
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: pyftpd.sh start DIR"; start "$2" ;;
  stop) [ $# -eq 2 ] || die "usage: pyftpd.sh stop DIR"; stop "$(cd "$2" && pwd)" ;;
  *) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
