#!/usr/bin/env bash
# Prints the Wine loader that runs a Windows program of the given kind directly. Where Debian's
# 32-bit loader is installed, `wine` takes it, and a 64-bit program then goes through start.exe
# in a second process, whose start can fail by itself ("ShellExecuteEx failed: Internal error").
# An x86_64 program therefore gets the 64-bit loader; anything else gets `wine`.
# Usage: scripts/wine_loader.sh x86_64|i686|PROGRAM.exe
set -euo pipefail
kind=${1:?"usage: wine_loader.sh x86_64|i686|PROGRAM.exe"}
readonly WINE64=/usr/lib/wine/wine64

# The machine field of a PE file's header: 8664 for x86_64, 014c for i386.
pe_machine() {
    local offset
    offset=$(od -An -t u4 -j 60 -N 4 -- "$1" 2>/dev/null | tr -d ' ') || return 1
    [[ -n $offset ]] || return 1
    od -An -t x2 -j $((offset + 4)) -N 2 -- "$1" 2>/dev/null | tr -d ' '
}

if [[ -f $kind ]]; then
    [[ $(pe_machine "$kind") == 8664 ]] && kind=x86_64 || kind=other
fi
if [[ $kind == x86_64 && -x $WINE64 ]]; then
    echo "$WINE64"
else
    command -v wine || { echo "wine_loader.sh: Wine is not installed" >&2; exit 1; }
fi
