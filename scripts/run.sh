#!/usr/bin/env bash
# Runs the real TLYN_Update.exe under Wine, on a virtual desktop, from a program folder that holds
# the program, a description file Gathrix_Remote.txt and the firmware it names. COM1 is the simulated
# boot loader, which answers as soon as the program is armed (it stands in for the reset button), or
# a real serial device:
#
#   bash scripts/run.sh                    the simulator on COM1, with the sample firmware
#   bash scripts/run.sh --auto             also press Begin Update, report the outcome and close;
#                                          the exit status is 0 only for a successful update
#   bash scripts/run.sh --firmware DIR     the simulator, with the firmware in DIR
#   bash scripts/run.sh --firmware DIR /dev/ttyUSB0
#                                          a real device (a USB serial adapter) on COM1, with the
#                                          firmware in DIR; a person presses the device's reset
#                                          button and watches, so --auto is refused here
#
# DIR holds Gathrix_Remote.txt and the HEX file its second line names. The sample firmware is never
# sent to a real device: with a device path and no --firmware, the command stops before it starts
# anything (exit status 2). With a display the window shows there; without one it runs on a private
# Xvfb. Every process the command started ends when the window closes.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

refuse() { echo "run.sh: $*" >&2; exit 2; }

auto=0
device=""
firmware=""
while [ $# -gt 0 ]; do
  case "$1" in
    --auto) auto=1 ;;
    --firmware) [ $# -ge 2 ] || refuse "--firmware needs a folder"; firmware=$2; shift ;;
    --firmware=*) firmware=${1#--firmware=} ;;
    -*) refuse "unknown option $1" ;;
    *) [ -z "$device" ] || refuse "one device path only"; device=$1 ;;
  esac
  shift
done

# Paths as the caller gave them, from the caller's folder.
case "$firmware" in /* | "") ;; *) firmware=$PWD/$firmware ;; esac
case "$device" in /* | "") ;; *) device=$PWD/$device ;; esac
cd "$root"

sample=$root/package/sample
description=Gathrix_Remote.txt
if [ -n "$device" ]; then
  [ $auto -eq 0 ] || refuse "--auto is refused on a real port: a person presses the device's reset" \
    "button and watches the update. Run without --auto."
  [ -n "$firmware" ] || refuse "a real port needs your firmware: --firmware DIR, a folder holding" \
    "$description and the HEX file its second line names. The sample is never sent to a device."
fi
# The firmware folder is checked before anything is installed, built or started.
if [ -n "$firmware" ]; then
  [ -f "$firmware/$description" ] || refuse "no $description in $firmware"
  hex=$(sed -n '2{s/\r$//;p;q}' "$firmware/$description")
  [ -n "$hex" ] || refuse "$firmware/$description names no firmware file on its second line"
  [ -f "$firmware/$hex" ] || refuse "no firmware file $hex in $firmware (named by its $description)"
  if [ -n "$device" ] && cmp -s "$firmware/$hex" "$sample/GX-REM2-Sample.hex"; then
    refuse "$firmware/$hex is the sample, no firmware for any device; it is never sent to a real one"
  fi
else
  firmware=$sample
  hex=GX-REM2-Sample.hex
fi
if [ -n "$device" ] && [ ! -e "$device" ]; then
  refuse "no device at $device"
fi

bash scripts/install-deps.sh
cmake --preset win >/dev/null
cmake --build --preset win --target TLYN_Update tlyn_probe >/dev/null
if [ -z "$device" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target tlyn_bootsim_cli >/dev/null
fi

run=$root/build/run
bed=$run/bed
program=$run/program
rm -rf "$program"
mkdir -p "$program"
cp build/win/TLYN_Update.exe "$firmware/$description" "$firmware/$hex" "$program/"

# Every process this command starts is remembered here and ended on the way out, whatever the way.
simulator=""
program_pid=""
probe_pid=""
cleanup() {
  local pid
  for pid in "$probe_pid" "$program_pid" "$simulator"; do
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  bash tests/bed/winbed.sh stop "$bed"
}
trap cleanup EXIT

[ -n "${DISPLAY:-}" ] || echo "No display: the window runs on a private Xvfb."
bash tests/bed/winbed.sh start "$bed" --ports 1
if [ -n "$device" ]; then
  ln -sfn "$device" "$bed/ports/com1"
  echo "COM1 is $device."
else
  # The simulator itself is the background job, so its process is the one ended at the close; its
  # lines reach the terminal through a filter that ends with it.
  build/native/tools/bootsim/tlyn_bootsim --link "$bed/ports/com1" --save-image "$run/received.bin" \
    > >(sed -u 's/^/boot loader: /') &
  simulator=$!
  echo "COM1 is the simulated boot loader; the image it receives is saved to $run/received.bin."
fi
# shellcheck disable=SC1091
. "$bed/env"

if [ $auto -eq 0 ]; then
  echo "Check COM1, press Begin Update (the simulator answers at once), then Done to end."
  (cd "$program" && wine TLYN_Update.exe)
  exit 0
fi

# --auto: the probe presses Begin Update and reads the outcome, as a user would.
(cd "$program" && exec wine TLYN_Update.exe) &
program_pid=$!
coproc PROBE { exec wine build/win/tools/probe/tlyn_probe.exe 2>/dev/null; }
probe_pid=$PROBE_PID
ask() { echo "$1" >&"${PROBE[1]}"; read -r answer <&"${PROBE[0]}"; echo "$answer"; }
read -r _ready <&"${PROBE[0]}"
decode() { printf '%b' "$(echo "$1" | sed 's/%\([0-9A-F][0-9A-F]\)/\\x\1/g')"; }
ask "wait-window 30000 Gathrix%20RS-232%20Remote%20Firmware%20Update" >/dev/null
ask "click 1006" >/dev/null
box=$(ask "msgbox 120000")
echo "Message box: $(decode "$box" | sed 's/^ok //')"
ask "msgbox-ok" >/dev/null
ask "click 2" >/dev/null
ask "quit" >/dev/null || true
# The program ends with Done; one that doesn't within the time is ended with the bed.
for _ in $(seq 1 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
case "$box" in
  *caption=Firmware%20Update%20Complete*) exit 0 ;;
  *) exit 1 ;;
esac
