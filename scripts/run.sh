#!/usr/bin/env bash
# Builds Quenlet and starts it under Wine, with a virtual null-modem whose far end is a demo
# device (it echoes what it receives and sends a text line every second). Installs what is
# missing first. Ctrl+C (or closing the program) stops everything this script started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${QUENLET_DEMO_PORT:-5}

"$root/scripts/setup.sh"
"$root/scripts/build.sh" x86_64

rig="$root/build/run-rig"
"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
# The program uses the user's display when there is one; the rig's private Xvfb otherwise.
user_display=${DISPLAY:-}
"$root/tests/rig/rig.sh" up "$rig" "$port"
trap '"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true' EXIT INT TERM
# shellcheck disable=SC1091
source "$rig/env.sh"
"$root/tests/rig/rig.sh" demo "$rig" "$port" --echo --stream lines --rate 40

exe="$root/build/x86_64/quenlet.exe"
if [ ! -f "$exe" ]; then
  echo "run: the Quenlet main window is not built yet (no $exe)."
  echo "run: COM$port is a virtual serial port with a demo device on its far end;"
  echo "run: any Windows serial program started with: source $rig/env.sh && wine PROGRAM.exe"
  echo "run: can open it. Press Ctrl+C to stop."
  while sleep 3600; do :; done
fi
if [ -n "$user_display" ]; then
  export DISPLAY=$user_display
else
  echo "run: no DISPLAY set; Quenlet runs on the private display $DISPLAY (view it with a VNC server or xwd)."
fi
echo "run: starting Quenlet; COM$port is a virtual port with a demo device on its far end."
wine "$exe"
