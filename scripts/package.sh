#!/usr/bin/env bash
# Builds what Quenlet ships into dist/ (no root needed once scripts/setup.sh has run):
#   quenlet-VERSION-win32.zip, quenlet-VERSION-win64.zip   quenlet.exe (i686, x86_64), README.txt,
#                                                          LICENSE.txt
#   quenlet_VERSION_amd64.deb                              the x86_64 program with the `quenlet`
#                                                          command, desktop entry and icon
#   SHA256SUMS                                             of the files above
# VERSION is project(VERSION) in CMakeLists.txt. The programs are the tested build type
# (RelWithDebInfo) without tests, stripped; every byte of the output depends only on the sources
# and the tool versions (scripts/check-reproducible.sh shows it).
# Usage: scripts/package.sh [deb]      deb: only the Debian package (and its checksum)
# Environment: QUENLET_DIST_DIR (default dist), QUENLET_PACKAGE_BUILD_DIR (default build/package),
#              SOURCE_DATE_EPOCH (default: the time of the checked-out commit) for file times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
[[ $what == all || $what == deb ]] || { echo "usage: scripts/package.sh [deb]" >&2; exit 2; }

"$root/scripts/setup.sh"

version=$(sed -n 's/^project(Quenlet VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[[ $version =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
dist=${QUENLET_DIST_DIR:-$root/dist}
work=${QUENLET_PACKAGE_BUILD_DIR:-$root/build/package}
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH
python=/usr/bin/python3
mkdir -p "$dist" "$work"
dist=$(cd "$dist" && pwd)

# Builds quenlet.exe for one target outside the test trees and copies it to $2. It is linked
# stripped (-s: strip(1) would stamp the PE header with a time) and the source path is mapped to
# "." in anything that could keep it.
build_program() {
  local -r target=$1 out=$2
  local -r tree=$work/$target
  if [[ ! -f $tree/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$target.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLET_TESTS=OFF -DQUENLET_WERROR=ON \
      -DCMAKE_C_FLAGS="-ffile-prefix-map=$root=." -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$root=." \
      -DCMAKE_EXE_LINKER_FLAGS=-s \
      >"$tree.configure.log" 2>&1 || { cat "$tree.configure.log"; exit 1; }
  fi
  echo "package: building $target"
  cmake --build "$tree" -j"$(nproc)" >"$tree.build.log" 2>&1 || { tail -n 60 "$tree.build.log"; exit 1; }
  cp "$tree/quenlet.exe" "$out"
}

# Text files for Windows: CR LF line ends (older Notepads show nothing else right).
windows_text() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

make_zip() {
  local -r target=$1 bits=$2
  local -r name=quenlet-$version-win$bits
  local -r stage=$work/zip-win$bits
  rm -rf "$stage" && mkdir -p "$stage"
  build_program "$target" "$stage/quenlet.exe"
  windows_text "$root/README.md" "$stage/README.txt"
  windows_text "$root/LICENSE" "$stage/LICENSE.txt"
  rm -f "$dist/$name.zip"
  "$python" "$root/scripts/make_zip.py" "$dist/$name.zip" "$SOURCE_DATE_EPOCH" \
    "$name/quenlet.exe=$stage/quenlet.exe" "$name/README.txt=$stage/README.txt" \
    "$name/LICENSE.txt=$stage/LICENSE.txt"
  produced+=("$name.zip")
  echo "package: $dist/$name.zip"
}

make_deb() {
  local -r stage=$work/deb-root lib=usr/lib/quenlet
  rm -rf "$stage"
  mkdir -p "$stage/DEBIAN"
  build_program x86_64 "$work/quenlet-x86_64.exe"
  install -D -m 0755 "$root/linux/quenlet" "$stage/usr/bin/quenlet"
  install -D -m 0644 "$work/quenlet-x86_64.exe" "$stage/$lib/quenlet.exe"
  install -D -m 0644 "$root/linux/serial-ports.sh" "$stage/$lib/serial-ports.sh"
  install -D -m 0644 "$root/linux/serial-servers.sh" "$stage/$lib/serial-servers.sh"
  install -D -m 0755 "$root/linux/serial_bridge.py" "$stage/$lib/serial_bridge.py"
  install -D -m 0644 "$root/linux/prefix.reg" "$stage/$lib/prefix.reg"
  install -D -m 0755 "$root/tests/rig/demo_device.py" "$stage/$lib/demo_device.py"
  # The demo's null-modem is a pty, which Wine's serial layer cannot wait on by itself.
  gcc -O2 -Wall -Wextra -Werror -shared -fPIC -ffile-prefix-map="$root=." -s \
    -o "$stage/$lib/libserialfixture.so" "$root/tests/rig/serial_fixture.c" -ldl
  chmod 0644 "$stage/$lib/libserialfixture.so"
  install -D -m 0644 "$root/linux/quenlet.desktop" "$stage/usr/share/applications/quenlet.desktop"
  local size
  for size in 16 24 32 48; do
    mkdir -p "$stage/usr/share/icons/hicolor/${size}x$size/apps"
    "$python" "$root/scripts/ico_to_png.py" "$root/res/quenlet.ico" "$size" \
      "$stage/usr/share/icons/hicolor/${size}x$size/apps/quenlet.png"
  done
  install -D -m 0644 "$root/README.md" "$stage/usr/share/doc/quenlet/README.md"
  { printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n'
    printf 'Upstream-Name: Quenlet\n\nFiles: *\nCopyright: 2026 The Quenlet authors\nLicense: Expat\n'
    sed 's/^$/./; s/^/ /' "$root/LICENSE"; } >"$stage/usr/share/doc/quenlet/copyright"
  find "$stage/usr" -type f -exec chmod go-w {} + && find "$stage" -type d -exec chmod 0755 {} +

  # Installed-Size in KiB, counted per file so the filesystem does not change it.
  local -r kib=$(find "$stage/usr" -type f -printf '%s\n' | awk '{ k += int(($1 + 1023) / 1024) } END { print k }')
  cat >"$stage/DEBIAN/control" <<EOF
Package: quenlet
Version: $version
Architecture: amd64
Maintainer: The Quenlet developers <quenlet@quenlet.example.org>
Installed-Size: $kib
Depends: wine, wine64, fonts-wine, fonts-liberation, socat, python3, python3-serial
Recommends: libnotify-bin
Section: electronics
Priority: optional
Description: interactive serial-port terminal (Windows program under Wine)
 Quenlet is a bench tool for testing serial lines and the devices on them:
 choose a COM port and its line parameters, open it, watch what arrives as
 text or hex (optionally captured to a file), send text, hex byte strings or
 whole files, watch the modem lines and the driver's status flags.
 .
 The quenlet command runs the Windows program under Wine in a prefix of its
 own and maps the machine's serial adapters to COM ports (USB, ACM, and
 ttyS ports with a UART; never the console). quenlet --demo adds a virtual
 null-modem with a demo device on its far end; quenlet --port brings in a
 port of a serial server (RFC 2217 or raw TCP, e.g. ser2net) as a COM port.
EOF
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  local -r deb=$dist/quenlet_${version}_amd64.deb
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
  produced+=("${deb##*/}")
  echo "package: $deb"
}

produced=()
if [[ $what == all ]]; then
  make_zip i686 32
  make_zip x86_64 64
fi
make_deb
(cd "$dist" && sha256sum -- "${produced[@]}" >SHA256SUMS.tmp && mv -f SHA256SUMS.tmp SHA256SUMS)
echo "package: $dist/SHA256SUMS"
