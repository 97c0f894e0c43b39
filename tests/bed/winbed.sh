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
#
# The prefix gets Wine's own Tahoma, Tahoma Bold and Marlett before its first program starts, and
# start checks with the probe (TLYN_PROBE, default build/win/tools/probe/tlyn_probe.exe) that the
# dialog font resolves to Tahoma with the base units every layout in pixels is made for.
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

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_fonts=/usr/share/wine/fonts
dialog_fonts="tahoma.ttf tahomabd.ttf marlett.ttf"
probe=${TLYN_PROBE:-$root/build/win/tools/probe/tlyn_probe.exe}
# "MS Shell Dlg" 8 pt as Tahoma draws it at 96 DPI: the family, and the dialog base units (x:y).
expected_face=Tahoma
expected_base=6:13
japanese_locale=ja_JP.utf8

fail() { echo "winbed.sh: $*" >&2; exit 1; }

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
  # Z: is the root of the Unix side in every prefix: the Windows path without a Wine process to ask.
  local windows_path="Z:${reg//\//\\}"
  wine regedit /S "$windows_path" >/dev/null 2>&1
}

# Without them Wine resolves "MS Shell Dlg" and even Tahoma to whatever the machine has, and every
# control lands elsewhere; caption buttons need Marlett to draw as glyphs.
install_fonts() {
  local dir="$WINEPREFIX/drive_c/windows/Fonts" f
  mkdir -p "$dir"
  for f in $dialog_fonts; do
    [ -f "$wine_fonts/$f" ] || fail "missing $wine_fonts/$f: install the package fonts-wine (bash scripts/install-deps.sh)"
    cp "$wine_fonts/$f" "$dir/$f"
  done
}

# Asks the probe what the dialog font resolved to and stops the bed unless it is Tahoma with the
# expected base units.
check_dialog_font() {
  [ -f "$probe" ] || { stop_bed; fail "the font check needs the probe $probe: build it first (cmake --build --preset win --target tlyn_probe)"; }
  local answer face base
  answer=$(printf 'dialog-font\nquit\n' | wine "$probe" 2>/dev/null | tr -d '\r' | sed -n 's/^ok face=/face=/p')
  face=$(echo "$answer" | sed -n 's/^face=\([^,]*\),.*/\1/p')
  base=$(echo "$answer" | sed -n 's/.*,base=\([0-9:]*\).*/\1/p')
  if [ "$face" != "$expected_face" ] || [ "$base" != "$expected_base" ]; then
    stop_bed
    fail "the dialog font \"MS Shell Dlg\" 8 pt resolved to ${answer:-nothing}; every layout needs $expected_face with dialog base units $expected_base (x:y px). Wine's Tahoma is missing from the prefix's C:\\windows\\Fonts ($dialog_fonts from $wine_fonts)."
  fi
  echo "$answer" >"$bed/dialog-font"
}

# The double-byte suite starts the program under this locale, which gives it code page 932; the
# suite itself checks the code page the program gets.
check_locale() {
  locale -a 2>/dev/null | grep -qix "$japanese_locale" ||
    fail "the locale ja_JP.UTF-8 is missing (locale -a has no $japanese_locale): make it with localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 (bash scripts/install-deps.sh)"
}

start_bed() {
  stop_bed
  check_locale
  rm -rf "$bed/prefix" "$bed/home" "$bed/ports"
  mkdir -p "$bed/home" "$bed/ports"
  local display
  display=$(start_display)
  wine_env
  export DISPLAY="$display"
  wineboot -i >"$bed/wineboot.log" 2>&1
  install_fonts
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
  check_dialog_font
}

case "$cmd" in
  start) start_bed ;;
  stop) stop_bed ;;
  *) echo "usage: $0 start|stop BED_DIR [--own-display] [--ports LIST]" >&2; exit 2 ;;
esac
