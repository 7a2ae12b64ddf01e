#!/usr/bin/env bash
# Regenerates the README's screenshots in docs/screenshots/ from the real program: it starts
# Quenlet on a private display against the demo device, opens the port, and photographs the main
# window, the status window and each dialog; then the main window once more on a screen at 200 %
# (192 DPI). Needs the x86_64 build (scripts/build.sh x86_64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/docs/screenshots"
exe="$root/build/x86_64/quenlet.exe"
[[ -f $exe ]] || { echo "screenshots: build first: scripts/build.sh x86_64" >&2; exit 1; }
command -v import >/dev/null || { echo "screenshots: needs ImageMagick (apt install imagemagick)" >&2; exit 1; }
mkdir -p "$out"

rig="$root/build/shot-rig"
"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
"$root/tests/rig/rig.sh" up "$rig" 1 >/dev/null
program=
# The screen's DPI as Wine reads it at a program's start (HKCU\Control Panel\Desktop comes before
# the machine-wide value); without the value Wine uses 96.
readonly DPI_KEY='HKCU\Control Panel\Desktop'
set_dpi() { wine reg add "$DPI_KEY" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
reset_dpi() { wine reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1 || true; }
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null
  reset_dpi
  "$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
}
trap cleanup EXIT
# shellcheck disable=SC1091
source "$rig/env.sh"
reset_dpi
"$root/tests/rig/rig.sh" demo "$rig" 1 --stream lines --rate 60 >/dev/null

# Polls for a top-level window with exactly this caption; prints its X window id.
find_window() {
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "screenshots: no window '$1' appeared" >&2
  return 1
}

# Without a window id import would wait for a click on the display; the whole screen is kept instead.
shoot() {
  if [[ -z $1 ]]; then
    import -window root "${TMPDIR:-/tmp}/quenlet-screen.png"
    echo "screenshots: no window for $2; the screen is in ${TMPDIR:-/tmp}/quenlet-screen.png" >&2
    exit 1
  fi
  import -window "$1" "$out/$2.png"
  echo "screenshots: $out/$2.png"
}

# Escape, as a real key press, to the dialog captioned $1, until it has gone: one just shown may not
# have the focus yet. Pressed again only once the dialog is seen to stay, so no Escape reaches the
# main window.
dismiss() {
  for _ in 1 2 3; do
    xdotool key Escape
    for _ in $(seq 1 20); do
      xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
      sleep 0.1
    done
  done
  echo "screenshots: '$1' did not close" >&2
  return 1
}

# Menus are clicked with the mouse: "&Settings" and "&Status" share their key. Positions are
# client pixels of the main window with its fixed-pitch font (menu bar at y 32).
menu() { # MENU_X ITEM_Y
  xdotool mousemove --window "$main" "$1" 32 click 1
  sleep 0.5
  xdotool mousemove --window "$main" $(( $1 + 18 )) "$2" click 1
}
readonly PORT_MENU=17 OPTIONS_MENU=58 HELP_MENU=100
readonly OPEN_ITEM=51 CLOSE_ITEM=68 SETTINGS_ITEM=84 STATUS_ITEM=109
readonly SEND_ITEM=51 RECEIVE_ITEM=68 ABOUT_ITEM=51

wine "$exe" >/dev/null 2>&1 &
program=$!
main=$(find_window Quenlet)

# Open the port, type into the send box, let a few lines of the demo device arrive.
menu $PORT_MENU $OPEN_ITEM
xdotool mousemove --window "$main" 250 200 click 1
xdotool type --delay 20 "hello device"
sleep 3
shoot "$main" main-window

menu $PORT_MENU $STATUS_ITEM
status=$(find_window COM1)
sleep 1
shoot "$status" status-window
# A real key press (XTEST) to the focused status window: a key sent to a window id is a synthetic
# event, after which Wine left the main window's menu bar deaf to the next clicks.
dismiss COM1

menu $PORT_MENU $CLOSE_ITEM
sleep 1
menu $PORT_MENU $SETTINGS_ITEM
shoot "$(find_window 'Port Settings')" port-settings
dismiss 'Port Settings'
menu $OPTIONS_MENU $SEND_ITEM
shoot "$(find_window 'Send Settings')" send-settings
dismiss 'Send Settings'
menu $OPTIONS_MENU $RECEIVE_ITEM
shoot "$(find_window 'Receive Settings')" receive-settings
dismiss 'Receive Settings'
menu $HELP_MENU $ABOUT_ITEM
shoot "$(find_window About)" about
dismiss About

# The main window at 200 %: a second start with the DPI set. The menu is opened from the keyboard,
# as its place differs at this scale: Alt+P, then Enter on its first item, Open.
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true  # killed: a non-zero status
set_dpi 192
wine "$exe" >/dev/null 2>&1 &
program=$!
main=$(find_window Quenlet)
xdotool mousemove --window "$main" 500 400 click 1
xdotool key alt+p
sleep 0.5
xdotool key Return
sleep 0.5
xdotool mousemove --window "$main" 500 400 click 1
xdotool type --delay 20 "hello device"
sleep 3
shoot "$main" main-window-192dpi
