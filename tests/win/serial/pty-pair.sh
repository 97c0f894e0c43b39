#!/usr/bin/env bash
# Two linked pseudo-terminals behind two of the test bed's COM ports, for the port tests:
#
#   pty-pair.sh start A B [R]   link BED/ports/comA and BED/ports/comB through one socat, and
#                               point BED/ports/comR at a directory so that opening COMR fails
#   pty-pair.sh stop  A B [R]   end that socat (its links go with it) and remove comR's link
#
# Under Wine a port whose link leads nowhere still opens (as a device with no line behind it);
# a link to a directory is what makes the open fail, as it does for a port another program holds.
# The bed is TLYN_BED when set, else build/bed of this checkout, as for the Windows-side tests.
# The pid is kept under BED/pids, so stopping the bed ends the pair too if a run was cut short.
set -euo pipefail
cmd=${1:-}; a=${2:-}; b=${3:-}; refusing=${4:-}
[ -n "$cmd" ] && [ -n "$a" ] && [ -n "$b" ] || { echo "usage: $0 start|stop A B [R]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bed=${TLYN_BED:-$here/../../../build/bed}
[ -f "$bed/env" ] || { echo "pty-pair: no test bed at $bed" >&2; exit 1; }
bed=$(cd "$bed" && pwd)
pidfile="$bed/pids/pty-com$a-com$b.pid"

stop_pair() {
  if [ -f "$pidfile" ]; then
    local pid
    pid=$(cat "$pidfile")
    kill "$pid" >/dev/null 2>&1 || true
    for _ in $(seq 50); do kill -0 "$pid" >/dev/null 2>&1 || break; sleep 0.1; done
    rm -f "$pidfile"
  fi
  if [ -n "$refusing" ]; then
    rm -f "$bed/ports/com$refusing"
    rmdir "$bed/refusing-port" 2>/dev/null || true
  fi
}

start_pair() {
  stop_pair
  mkdir -p "$bed/pids" "$bed/ports"
  rm -f "$bed/ports/com$a" "$bed/ports/com$b"
  # Every output sent away: ctest waits for the pipes of whatever a test leaves running.
  socat -d -d "pty,raw,echo=0,link=$bed/ports/com$a" "pty,raw,echo=0,link=$bed/ports/com$b" \
    </dev/null >"$bed/pty-com$a-com$b.log" 2>&1 &
  echo $! >"$pidfile"
  if [ -n "$refusing" ]; then
    mkdir -p "$bed/refusing-port"
    ln -sfn "$bed/refusing-port" "$bed/ports/com$refusing"
  fi
  for _ in $(seq 50); do
    if [ -e "$bed/ports/com$a" ] && [ -e "$bed/ports/com$b" ]; then
      echo "COM$a -> $(readlink "$bed/ports/com$a"), COM$b -> $(readlink "$bed/ports/com$b")"
      return 0
    fi
    sleep 0.1
  done
  echo "pty-pair: socat made no links (see $bed/pty-com$a-com$b.log)" >&2
  stop_pair
  exit 1
}

case "$cmd" in
  start) start_pair ;;
  stop) stop_pair ;;
  *) echo "usage: $0 start|stop A B [R]" >&2; exit 2 ;;
esac
