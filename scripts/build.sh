#!/usr/bin/env bash
# Configures and builds Quenlet for Windows: build/x86_64 and build/i686 (the 32-bit shipping
# target), both tested under wine. Warnings are errors in both.
# Usage: scripts/build.sh [x86_64|i686 ...]   (default: both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$root/build"
targets=("$@")
((${#targets[@]})) || targets=(x86_64 i686)

for target in "${targets[@]}"; do
  dir="$root/build/$target"
  emulator=$("$root/scripts/wine_loader.sh" "$target")
  # A tree configured with another loader (or before its tests ran under wine) is configured again.
  if [ ! -f "$dir/CMakeCache.txt" ] || ! grep -qx "CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=$emulator" "$dir/CMakeCache.txt"; then
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$target.cmake" \
      -DQUENLET_WERROR=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; exit 1; }
  fi
  echo "build: $target"
  cmake --build "$dir" -j"$(nproc)" >"$dir.build.log" 2>&1 || { tail -n 60 "$dir.build.log"; exit 1; }
done
