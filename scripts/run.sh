#!/usr/bin/env bash
# Builds Quenlet and starts it under Wine. Installs what is missing first.
#
# Serial ports: the machine's real adapters (/dev/ttyUSB*, /dev/ttyACM*, and /dev/ttyS* that exist
# and have a UART, never the system console) become COM1, COM2, ... in a private Wine prefix, by
# the installed launcher's rules: linked to their /dev/serial/by-id name where they have one. The
# rig's serial helper lets Wine see only the devices found here, so a replug is found again only
# under its old kernel name, and adapters plugged in later are not mapped. A virtual null-modem
# with a demo device on its far end (it sends a numbered text line about once a second) takes the
# next number, so with no hardware it is COM1, the port Quenlet opens by default. The mapping is
# printed. Closing Quenlet, Ctrl+C or a TERM (kill, timeout) stops everything this script started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh"
"$root/scripts/build.sh" x86_64

# The same mapping rules as the installed launcher.
# shellcheck source=../linux/serial-ports.sh
source "$root/linux/serial-ports.sh"
serial_map_start
demo_port=$(serial_next_free_port)

rig="$root/build/run-rig"
"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
# The rig's serial helper hides real ports from Wine unless they are named here (by the device
# they are now: the helper knows them by device number).
QUENLET_FIXTURE_PASS=$(IFS=:; echo "${serial_device_of_name[*]}")
export QUENLET_FIXTURE_PASS
user_display=${DISPLAY:-}
program=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null
  "$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
}
# Closing Quenlet, Ctrl+C, kill and timeout (TERM) all end here.
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$root/tests/rig/rig.sh" up "$rig" "$demo_port"
# shellcheck disable=SC1091
source "$rig/env.sh"

echo "run: serial ports:"
for port in $(printf '%s\n' "${!serial_name_of_port[@]}" | sort -n); do
  ln -sfn "${serial_name_of_port[$port]}" "$WINEPREFIX/dosdevices/com$port"
  echo "run:   COM$port = $(serial_port_text "$port")"
done
echo "run:   COM$demo_port = virtual null-modem, demo device on the far end"
"$root/tests/rig/rig.sh" demo "$rig" "$demo_port" --stream lines --rate 40 >/dev/null

if [ -n "$user_display" ]; then
  export DISPLAY=$user_display
  # A desktop has a window manager: Quenlet gets its frame, taskbar entry and Alt+Tab from it. Only
  # the rig's own display, which has none, needs Wine's unmanaged windows.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f </dev/null >/dev/null 2>&1
else
  echo "run: no DISPLAY set: Quenlet runs on a private Xvfb display ($DISPLAY)."
  echo "run: view it with e.g. 'x11vnc -display $DISPLAY' or take a screenshot with 'import -display $DISPLAY -window root shot.png'."
fi
echo "run: starting Quenlet"
# In the background, so a TERM reaches the trap at once rather than when the program ends.
"$("$root/scripts/wine_loader.sh" x86_64)" "$root/build/x86_64/quenlet.exe" &
program=$!
wait "$program"
