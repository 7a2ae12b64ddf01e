#!/usr/bin/env bash
# Builds the Debian package with scripts/package.sh and inspects it: control fields, the files and
# their modes, the program inside, the desktop entry, the launcher's --help and its port mapping
# on a made-up /dev, /sys and /proc (order, console and UART rules, a port the user may not open,
# adapters mapped by their /dev/serial/by-id names through unplugs and replugs).
# Usage: check_package.sh VERSION WORKDIR
set -uo pipefail
readonly version=${1:?usage: check_package.sh VERSION WORKDIR} work=${2:?usage: check_package.sh VERSION WORKDIR}
root=$(cd "$(dirname "$0")/.." && pwd)
# Nothing of the test rig's environment belongs in a package build or a launcher run.
unset LD_PRELOAD QUENLET_RIG_DIR WINEPREFIX

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_equal() { # WHAT EXPECTED ACTUAL
    [[ $2 == "$3" ]] || fail "$1: expected
$2
got
$3"
}

mkdir -p "$work"
QUENLET_DIST_DIR=$work/dist QUENLET_PACKAGE_BUILD_DIR=$work/build "$root/scripts/package.sh" deb ||
    { echo "FAIL: scripts/package.sh deb"; exit 1; }
readonly deb=$work/dist/quenlet_${version}_amd64.deb
[[ -f $deb ]] || { echo "FAIL: no $deb"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
expect_equal Package quenlet "$(field Package)"
expect_equal Version "$version" "$(field Version)"
expect_equal Architecture amd64 "$(field Architecture)"
for dependency in wine wine64 fonts-wine fonts-liberation socat python3 python3-serial; do
    [[ ", $(field Depends), " == *", $dependency, "* ]] || fail "Depends lacks $dependency: $(field Depends)"
done
[[ $(field Installed-Size) =~ ^[0-9]+$ ]] || fail "Installed-Size: '$(field Installed-Size)'"
[[ -n $(field Description) ]] || fail "no Description"

expected_files='-rwxr-xr-x root/root ./usr/bin/quenlet
-rwxr-xr-x root/root ./usr/lib/quenlet/demo_device.py
-rw-r--r-- root/root ./usr/lib/quenlet/libserialfixture.so
-rw-r--r-- root/root ./usr/lib/quenlet/prefix.reg
-rw-r--r-- root/root ./usr/lib/quenlet/quenlet.exe
-rw-r--r-- root/root ./usr/lib/quenlet/serial-ports.sh
-rw-r--r-- root/root ./usr/lib/quenlet/serial-servers.sh
-rwxr-xr-x root/root ./usr/lib/quenlet/serial_bridge.py
-rw-r--r-- root/root ./usr/share/applications/quenlet.desktop
-rw-r--r-- root/root ./usr/share/doc/quenlet/README.md
-rw-r--r-- root/root ./usr/share/doc/quenlet/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/16x16/apps/quenlet.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/24x24/apps/quenlet.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/32x32/apps/quenlet.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/48x48/apps/quenlet.png'
expect_equal "files" "$expected_files" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)"

tree=$(mktemp -d "${TMPDIR:-/tmp}/quenlet-package.XXXXXX")
trap 'rm -rf "$tree"' EXIT
chmod 755 "$tree"
dpkg-deb -x "$deb" "$tree/root"
readonly quenlet=$tree/root/usr/bin/quenlet lib=$tree/root/usr/lib/quenlet

objdump=x86_64-w64-mingw32-objdump
[[ $("$objdump" -f "$lib/quenlet.exe") == *"file format pei-x86-64"* ]] || fail "quenlet.exe is not an x86-64 PE"
[[ $("$objdump" -p "$lib/quenlet.exe") =~ Time/Date[[:space:]]+Thu\ Jan\ \ 1\ 00:00:00\ 1970 ]] ||
    fail "quenlet.exe carries a link time"
fixture_header=$(readelf -h "$lib/libserialfixture.so")
[[ $fixture_header =~ Class:\ +ELF64 && $fixture_header =~ Type:\ +DYN && $fixture_header =~ Machine:\ +[^$'\n']*X86-64 ]] ||
    fail "the fixture is not an x86-64 shared library"
for size in 16 24 32 48; do
    # The PNG signature, then the IHDR chunk with width and height.
    expect_equal "icon ${size}x$size" "89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 00 $(printf %02x "$size") 00 00 00 $(printf %02x "$size")" \
        "$(od -An -tx1 -N24 "$tree/root/usr/share/icons/hicolor/${size}x$size/apps/quenlet.png" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')"
done
desktop=$tree/root/usr/share/applications/quenlet.desktop
for line in '[Desktop Entry]' 'Type=Application' 'Name=Quenlet' 'Exec=quenlet' 'Icon=quenlet' 'Terminal=false'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks '$line'"
done

help=$("$quenlet" --help) || fail "--help failed"
# shellcheck disable=SC2088 # the tilde is text the help shows
for phrase in '--demo' '--ports' '/dev/ttyUSB*' 'never mapped' 'you are not in group dialout' \
    'next free COM number' 'Port > Settings' '~/.local/share/quenlet' 'window management on' \
    '/dev/serial/by-id' 'keeps its COM number' 'no other adapter gets that number' \
    '--port URL' 'rfc2217://HOST:PORT' 'tcp://HOST:PORT' 'stay with the server'; do
    [[ $help == *"$phrase"* ]] || fail "--help does not mention '$phrase'"
done
"$quenlet" --no-such-option >/dev/null 2>&1
[[ $? == 2 ]] || fail "an unknown option does not end with status 2"

# A made-up machine: USB adapters out of lexical order, an ACM adapter, a file that is not a
# device, ttyS0 the console (kernel command line), ttyS3 the console (sysfs), ttyS2 without a UART.
fake=$tree/fake
mkdir -p "$fake/dev" "$fake/proc" "$fake/sys/class/tty/console"
for device in ttyUSB0 ttyUSB10 ttyUSB2 ttyACM0 ttyS0 ttyS1 ttyS2 ttyS3 ttyS4x; do
    ln -s /dev/null "$fake/dev/$device"
done
: >"$fake/dev/ttyACM1"
for port in 0 1 2 3; do mkdir -p "$fake/sys/class/tty/ttyS$port"; done
echo 4 >"$fake/sys/class/tty/ttyS0/type"
echo 4 >"$fake/sys/class/tty/ttyS1/type"
echo 0 >"$fake/sys/class/tty/ttyS2/type"
echo 4 >"$fake/sys/class/tty/ttyS3/type"
echo 'BOOT_IMAGE=/vmlinuz root=/dev/sda1 console=ttyS0,115200n8 quiet' >"$fake/proc/cmdline"
echo 'tty0 ttyS3' >"$fake/sys/class/tty/console/active"
ports() { QUENLET_DEV_DIR=$fake/dev QUENLET_SYS_DIR=$fake/sys QUENLET_PROC_DIR=$fake/proc "$quenlet" --ports "$@"; }
expect_equal "mapping" "quenlet: serial ports:
quenlet:   COM1 = $fake/dev/ttyUSB0
quenlet:   COM2 = $fake/dev/ttyUSB2
quenlet:   COM3 = $fake/dev/ttyUSB10
quenlet:   COM4 = $fake/dev/ttyACM0
quenlet:   COM5 = $fake/dev/ttyS1" "$(ports)"
expect_equal "mapping with --demo" "quenlet: serial ports:
quenlet:   COM1 = $fake/dev/ttyUSB0
quenlet:   COM2 = $fake/dev/ttyUSB2
quenlet:   COM3 = $fake/dev/ttyUSB10
quenlet:   COM4 = $fake/dev/ttyACM0
quenlet:   COM5 = $fake/dev/ttyS1
quenlet:   COM6 = virtual null-modem, demo device on the far end" "$(ports --demo)"
# Ports of serial servers take the next free numbers, after the demo's.
expect_equal "mapping with --port" "quenlet: serial ports:
quenlet:   COM1 = $fake/dev/ttyUSB0
quenlet:   COM2 = $fake/dev/ttyUSB2
quenlet:   COM3 = $fake/dev/ttyUSB10
quenlet:   COM4 = $fake/dev/ttyACM0
quenlet:   COM5 = $fake/dev/ttyS1
quenlet:   COM6 = virtual null-modem, demo device on the far end
quenlet:   COM7 = rfc2217://127.0.0.1:4000 (RFC 2217: line settings, DTR/RTS and modem lines go through)
quenlet:   COM8 = tcp://127.0.0.1:4001 (raw TCP: the line settings stay with the server)" \
    "$(ports --demo --port rfc2217://127.0.0.1:4000 --port=tcp://127.0.0.1:4001)"
# Bad input: one line, status 2, before anything starts.
for bad in ftp://localhost:1 rfc2217://localhost rfc2217://localhost:0 tcp://no-such-host.invalid:4000 localhost:4000; do
    said=$(ports --port "$bad" 2>&1 >/dev/null)
    status=$?
    [[ $status == 2 ]] || fail "--port $bad ends with status $status, not 2"
    [[ $(wc -l <<<"$said") == 1 && $said == "quenlet: --port $bad: "* ]] || fail "--port $bad says: $said"
done

# Adapters with udev's stable names (links in serial/by-id, relative as udev makes them) on another
# made-up machine whose console is ttyUSB2. The names sort against the devices' order, which is
# the one that counts; ttyACM0 has no such name.
moving=$tree/moving
by_id=$moving/dev/serial/by-id
mkdir -p "$by_id" "$moving/proc" "$moving/sys/class/tty" "$moving/dosdevices"
echo 'root=/dev/sda1 console=ttyUSB2,115200' >"$moving/proc/cmdline"
readonly zeta=usb-Zeta_Serial_Z.1-if00-port0 alpha=usb-Alpha_Cable_A1-if00-port0 \
    gamma=usb-Gamma_Link_G1-if00-port0 delta=usb-Delta_Bridge_D1-if01 console=usb-Console_C1-if00-port0
plug() { # DEVICE [BY-ID NAME]
    ln -s /dev/null "$moving/dev/$1"
    if [[ -n ${2:-} ]]; then ln -s "../../$1" "$by_id/$2"; fi
}
unplug() { # DEVICE [BY-ID NAME]
    rm -f "$moving/dev/$1"
    if [[ -n ${2:-} ]]; then rm -f "$by_id/$2"; fi
}
plug ttyUSB0 "$zeta"
plug ttyUSB10 "$alpha"
plug ttyACM0
plug ttyUSB2 "$console"
expect_equal "mapping by stable names" "quenlet: serial ports:
quenlet:   COM1 = $by_id/$zeta (now $moving/dev/ttyUSB0)
quenlet:   COM2 = $by_id/$alpha (now $moving/dev/ttyUSB10)
quenlet:   COM3 = $moving/dev/ttyACM0" \
    "$(QUENLET_DEV_DIR=$moving/dev QUENLET_SYS_DIR=$moving/sys QUENLET_PROC_DIR=$moving/proc "$quenlet" --ports 2>&1)"

# The launcher while the program runs, without Wine: its mapping and its rounds come from the
# packaged serial-ports.sh (what `quenlet` sources), each round what the launcher's loop does once
# a second. COM4 is held for the demo, and Wine's port scan has left links of its own.
# shellcheck source=../linux/serial-ports.sh
source "$lib/serial-ports.sh"
QUENLET_DEV_DIR=$moving/dev QUENLET_SYS_DIR=$moving/sys QUENLET_PROC_DIR=$moving/proc
readonly demo_target=$moving/demo-pty
# Links only, read as text by the rounds, and never to the console's ttyS0: nothing here opens
# /dev/ttyS5 or /dev/ttyS6.
ln -s /dev/ttyS5 "$moving/dosdevices/com1"
ln -s /dev/ttyS6 "$moving/dosdevices/com7"
told=
round() { # in this shell, as the state lives on; what it tells the user goes to told, a line each
    {
        serial_map_round
        told=$(if ((${#serial_notes[@]})); then printf '%s\n' "${serial_notes[@]}"; fi)
        serial_sync_links "$moving/dosdevices" 4 "$demo_target"
    } 2>"$moving/round.err"
    [[ ! -s $moving/round.err ]] || fail "a round says on stderr: $(cat "$moving/round.err")"
}
links() {
    local link
    for link in "$moving/dosdevices"/*; do echo "${link##*/} -> $(readlink -- "$link")"; done
}
{
    serial_map_start
    serial_reserved_port=4
    serial_sync_links "$moving/dosdevices" 4 "$demo_target"
} 2>"$moving/round.err"
[[ ! -s $moving/round.err ]] || fail "the start says on stderr: $(cat "$moving/round.err")"
start_links="com1 -> $by_id/$zeta
com2 -> $by_id/$alpha
com3 -> $moving/dev/ttyACM0
com4 -> $demo_target"
expect_equal "links at the start" "$start_links" "$(links)"
round
expect_equal "a round with nothing new" "" "$told"
expect_equal "links after a round with nothing new" "$start_links" "$(links)"

# Zeta is unplugged; Gamma comes and gets the kernel name Zeta had. Zeta's link stays, pointing at
# no device, rather than at Gamma; Gamma gets the next free number after a round of its own.
unplug ttyUSB0 "$zeta"
round
expect_equal "a round after an unplug" "" "$told"
plug ttyUSB0 "$gamma"
round
expect_equal "the round a newcomer is first seen" "" "$told"
expect_equal "links while a newcomer has the old kernel name" "$start_links" "$(links)"
round
expect_equal "the newcomer's next round" "COM5 = $by_id/$gamma (plugged in as $moving/dev/ttyUSB0)" "$told"
with_gamma="$start_links
com5 -> $by_id/$gamma"
expect_equal "links with the newcomer" "$with_gamma" "$(links)"

# Zeta returns under another kernel name: its link already finds it; the user hears so once.
plug ttyUSB1 "$zeta"
round
expect_equal "the round Zeta is back" "COM1 = $by_id/$zeta (back, now $moving/dev/ttyUSB1)" "$told"
round
expect_equal "the round after Zeta is back" "" "$told"
expect_equal "links with Zeta back" "$with_gamma" "$(links)"
expect_equal "Zeta's line in the mapping" "$by_id/$zeta (now $moving/dev/ttyUSB1)" "$(serial_port_text 1)"
expect_equal "Gamma's line in the mapping" "$by_id/$gamma (now $moving/dev/ttyUSB0)" "$(serial_port_text 5)"

# An adapter mapped by its device goes; one with a stable name gets that device. The old number's
# link goes at once (before the newcomer is mapped), and comes back once the device is free.
unplug ttyACM0
plug ttyACM0 "$delta"
round
expect_equal "the round a named newcomer has a mapped device" \
    "COM3 = $moving/dev/ttyACM0 (unlinked while another adapter has that device: $by_id/$delta)" "$told"
expect_equal "links while a named newcomer has a mapped device" "com1 -> $by_id/$zeta
com2 -> $by_id/$alpha
com4 -> $demo_target
com5 -> $by_id/$gamma" "$(links)"
round
expect_equal "the named newcomer's next round" "COM6 = $by_id/$delta (plugged in as $moving/dev/ttyACM0)" "$told"
unplug ttyACM0 "$delta"
round
expect_equal "the round the named newcomer leaves" "" "$told"
expect_equal "links after the named newcomer left" "$with_gamma
com6 -> $by_id/$delta" "$(links)"
unset QUENLET_DEV_DIR QUENLET_SYS_DIR QUENLET_PROC_DIR

# A port of group dialout, seen by a user outside it (needs root to make the device node).
if [[ $(id -u) == 0 ]] && getent group dialout >/dev/null && getent passwd nobody >/dev/null; then
    rm -f "$fake/dev"/tty*
    mknod "$fake/dev/ttyUSB0" c 1 3 && chgrp dialout "$fake/dev/ttyUSB0" && chmod 660 "$fake/dev/ttyUSB0"
    mknod "$fake/dev/ttyUSB1" c 1 3 && chgrp dialout "$fake/dev/ttyUSB1" && chmod 660 "$fake/dev/ttyUSB1"
    # The line names the device the stable name stands for.
    mkdir -p "$fake/dev/serial/by-id" && ln -s ../../ttyUSB1 "$fake/dev/serial/by-id/$alpha"
    chmod -R a+rX "$tree"
    as_nobody=$(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/nonexistent \
        QUENLET_DEV_DIR="$fake/dev" QUENLET_SYS_DIR="$fake/sys" QUENLET_PROC_DIR="$fake/proc" "$quenlet" --ports)
    expect_equal "a port the user may not open" "quenlet: serial ports:
quenlet:   COM1 = $fake/dev/ttyUSB0
quenlet:   COM2 = $fake/dev/serial/by-id/$alpha (now $fake/dev/ttyUSB1)
quenlet: $fake/dev/ttyUSB0: you are not in group dialout (sudo adduser \$USER dialout, then log in again)
quenlet: $fake/dev/ttyUSB1: you are not in group dialout (sudo adduser \$USER dialout, then log in again)" "$as_nobody"
else
    echo "note: not root: the check of a port the user may not open is left out"
fi

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
echo "package checks passed: $deb"
