#!/usr/bin/env bash
# The Wine test bed: a private Wine prefix, one long-lived wineserver, a display, and COM1..COM22
# mapped to symlinks under the bed so that a test can point any port at a pseudo-terminal.
#
#   winbed.sh start BED_DIR [--own-display] [--ports "1 2 ..."]
#                                   make the bed and start its session; writes BED_DIR/env.
#                                   --own-display: a private Xvfb even when DISPLAY is set;
#                                   --ports: map only these COM numbers (default 1 to 22)
#   winbed.sh stop  BED_DIR         end every process the bed started
#
# Everything lives under BED_DIR; nothing is read from or left in the home directory.
set -euo pipefail

cmd=${1:-}; bed=${2:-}
[ -n "$cmd" ] && [ -n "$bed" ] || { echo "usage: $0 start|stop BED_DIR [--own-display] [--ports LIST]" >&2; exit 2; }
mkdir -p "$bed"
bed=$(cd "$bed" && pwd)
own_display=0
ports=$(seq 1 22)
shift 2 || true
while [ $# -gt 0 ]; do
  case "$1" in
    --own-display) own_display=1 ;;
    --ports) ports=${2:-}; shift ;;
    *) echo "winbed.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

wine_env() {
  export WINEPREFIX="$bed/prefix"
  export WINEDEBUG=-all
  # No .NET or HTML engine downloads, no menu entries written into the home directory.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME="$bed/home"
  export XDG_CACHE_HOME="$bed/home/.cache" XDG_CONFIG_HOME="$bed/home/.config" XDG_DATA_HOME="$bed/home/.local/share"
}

stop_bed() {
  # Helpers that tests started beside the bed (pseudo-terminal pairs) and left running.
  local pidfile
  for pidfile in "$bed"/pids/*.pid; do
    [ -f "$pidfile" ] || continue
    kill "$(cat "$pidfile")" >/dev/null 2>&1 || true
    rm -f "$pidfile"
  done
  if [ -f "$bed/env" ]; then
    # shellcheck disable=SC1091
    . "$bed/env"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -f "$bed/xvfb.pid" ]; then
    kill "$(cat "$bed/xvfb.pid")" >/dev/null 2>&1 || true
    rm -f "$bed/xvfb.pid"
  fi
  rm -f "$bed/env"
}

start_display() {
  if [ $own_display -eq 0 ] && [ -n "${DISPLAY:-}" ]; then
    echo "$DISPLAY"
    return
  fi
  local fifo="$bed/displayfd"
  rm -f "$fifo"; mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac 3>"$fifo" >"$bed/xvfb.log" 2>&1 &
  echo $! >"$bed/xvfb.pid"
  local n
  read -r n <"$fifo"
  rm -f "$fifo"
  echo ":$n"
}

write_registry() {
  local reg="$bed/bed.reg" n
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
    echo '"Desktop"="Default"'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
    echo '"Default"="1024x768"'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
    for n in $ports; do
      echo "\"COM$n\"=\"$bed/ports/com$n\""
    done
  } >"$reg"
  wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
}

start_bed() {
  stop_bed
  rm -rf "$bed/prefix" "$bed/home" "$bed/ports"
  mkdir -p "$bed/home" "$bed/ports"
  local display
  display=$(start_display)
  wine_env
  export DISPLAY="$display"
  wineboot -i >"$bed/wineboot.log" 2>&1
  write_registry
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  {
    echo "export TLYN_BED='$bed'"
    echo "export WINEPREFIX='$WINEPREFIX'"
    echo "export WINEDEBUG=-all"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    echo "export HOME='$HOME' XDG_CACHE_HOME='$XDG_CACHE_HOME' XDG_CONFIG_HOME='$XDG_CONFIG_HOME' XDG_DATA_HOME='$XDG_DATA_HOME'"
    echo "export DISPLAY='$DISPLAY'"
  } >"$bed/env"
  # Wine's own services inherit the output of the first process of a session: start them here,
  # with every output sent away, so that no test runner waits on them.
  (wineserver -p >/dev/null 2>&1 </dev/null &)
  wine wineboot >/dev/null 2>&1 </dev/null
}

case "$cmd" in
  start) start_bed ;;
  stop) stop_bed ;;
  *) echo "usage: $0 start|stop BED_DIR [--own-display] [--ports LIST]" >&2; exit 2 ;;
esac
