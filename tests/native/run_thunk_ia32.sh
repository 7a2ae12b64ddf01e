#!/bin/sh
# Builds the IA-32 thunk test for i386 Linux and runs it under qemu-i386.
# Usage: tests/native/run_thunk_ia32.sh OUT_DIR
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 OUT_DIR" >&2
    exit 2
fi
out_dir=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out_dir"
binary="$out_dir/thunk_ia32_test"

# Static, so qemu-i386 needs no i386 loader or libraries from the host.
g++ -m32 -O2 -std=c++20 -Wall -Wextra -static -I"$root" \
    "$root/tests/native/thunk_ia32_test.cpp" "$root/core/thunk_code.cpp" \
    -o "$binary"

exec qemu-i386 "$binary"
