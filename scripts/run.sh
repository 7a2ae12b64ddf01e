#!/usr/bin/env bash
# Builds Quenlet and starts it under Wine. Installs what is missing first.
#
# Serial ports: the machine's real adapters (/dev/ttyUSB*, /dev/ttyACM*, and /dev/ttyS* that exist
# and have a UART, never the system console) become COM1, COM2, ... in a private Wine prefix. A
# virtual null-modem with a demo device on its far end (it sends a numbered text line about once
# a second) takes the next number, so with no hardware it is COM1, the port
# Quenlet opens by default. The mapping is printed. Closing Quenlet (or Ctrl+C) stops everything
# this script started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh"
"$root/scripts/build.sh" x86_64

# The consoles the kernel writes to: never mapped, never opened.
console_devices() {
  local word
  for word in $(cat /proc/cmdline 2>/dev/null); do
    [[ $word == console=* ]] && { word=${word#console=}; echo "/dev/${word%%,*}"; }
  done
  if [[ -r /sys/class/tty/console/active ]]; then
    for word in $(cat /sys/class/tty/console/active); do echo "/dev/$word"; done
  fi
}

real_adapters() {
  local consoles device name
  consoles=" $(console_devices | tr '\n' ' ') "
  for device in /dev/ttyUSB* /dev/ttyACM* /dev/ttyS*; do
    [[ -c $device ]] || continue
    [[ $consoles == *" $device "* ]] && continue
    name=${device#/dev/}
    # Legacy ttyS nodes exist whether or not a UART is behind them; type 0 means none.
    if [[ $name == ttyS* ]]; then
      [[ $(cat "/sys/class/tty/$name/type" 2>/dev/null || echo 0) != 0 ]] || continue
    fi
    echo "$device"
  done
}

mapfile -t adapters < <(real_adapters)
demo_port=$(( ${#adapters[@]} + 1 ))

rig="$root/build/run-rig"
"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
# The rig's serial helper hides real ports from Wine unless they are named here.
QUENLET_FIXTURE_PASS=$(IFS=:; echo "${adapters[*]}")
export QUENLET_FIXTURE_PASS
user_display=${DISPLAY:-}
"$root/tests/rig/rig.sh" up "$rig" "$demo_port"
trap '"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true' EXIT INT TERM
# shellcheck disable=SC1091
source "$rig/env.sh"

echo "run: serial ports:"
for i in "${!adapters[@]}"; do
  ln -sfn "${adapters[$i]}" "$WINEPREFIX/dosdevices/com$((i + 1))"
  echo "run:   COM$((i + 1)) = ${adapters[$i]}"
done
echo "run:   COM$demo_port = virtual null-modem, demo device on the far end"
"$root/tests/rig/rig.sh" demo "$rig" "$demo_port" --stream lines --rate 40 >/dev/null

if [ -n "$user_display" ]; then
  export DISPLAY=$user_display
else
  echo "run: no DISPLAY set: Quenlet runs on a private Xvfb display ($DISPLAY)."
  echo "run: view it with e.g. 'x11vnc -display $DISPLAY' or take screenshots with 'xwd -root -display $DISPLAY'."
fi
echo "run: starting Quenlet"
wine "$root/build/x86_64/quenlet.exe"
