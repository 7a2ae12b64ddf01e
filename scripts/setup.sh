#!/usr/bin/env bash
# Installs what building and testing Quenlet needs on Debian 12 or 13 (run as root). Quiet when
# everything is there already.
set -euo pipefail

packages=(
  cmake make gcc g++ g++-multilib             # native rig tools, the IA-32 thunk check
  g++-mingw-w64-i686 g++-mingw-w64-x86-64      # the two Windows targets (posix thread model)
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest                                   # compiled for Windows inside the build
  wine wine64 fonts-wine fonts-liberation      # runs the x86_64 build
  xvfb xauth x11-utils xdotool                 # private display for window tests
  imagemagick                                  # screenshots of the private display (import)
  socat python3 procps psmisc                  # virtual null-modem and demo device
  python3-serial ser2net                       # ports of a serial server (RFC 2217, raw TCP)
  qemu-user                                    # runs the IA-32 thunk check
  picocom bc                                   # the benchmarks' native reference and arithmetic
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: need root to install packages (run as root or with sudo)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # ser2net's package starts a service whose default configuration serves /dev/ttyS0, the console
  # on many machines: the tests run ser2net themselves, so its service neither starts here nor at
  # the next boot.
  guard=
  if [[ " ${missing[*]} " == *" ser2net "* && ! -e /usr/sbin/policy-rc.d ]]; then
    guard=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' >"$guard" && chmod 755 "$guard"
  fi
  status=0
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  [[ -n $guard ]] && rm -f "$guard"
  ((status == 0)) || exit "$status"
  if [[ " ${missing[*]} " == *" ser2net "* ]] && command -v systemctl >/dev/null; then
    if [[ -d /run/systemd/system ]]; then systemctl stop ser2net.service >/dev/null 2>&1 || true; fi
    systemctl disable ser2net.service >/dev/null 2>&1 || true
  fi
fi

# The i686 build runs under 32-bit Wine, which only helps where the machine runs 32-bit code.
if bash "$(dirname "$0")/ia32.sh" check 2>/dev/null &&
    ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup: this machine runs 32-bit code: installing wine32:i386"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: need root to install packages (run as root or with sudo)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  # Never at the price of a package already installed: where the archive's i386 libraries lag
  # behind the installed amd64 ones, apt would remove the toolchain to make room.
  if ! apt-get install -y -qq --no-install-recommends --no-remove wine32:i386 >/dev/null; then
    echo "setup: wine32:i386 cannot be installed without removing other packages;" \
      "the i686 tests will be reported as skipped" >&2
  fi
fi
