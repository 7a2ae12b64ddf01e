#!/usr/bin/env bash
# Fails when a Windows executable imports a DLL that a bare Windows does not have (the mingw
# runtime must be linked in statically).
# Usage: check_imports.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1; shift
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32|oleaut32|shlwapi|msvcrt|ntdll|ws2_32|version|uxtheme)\.dll$'
status=0
for exe in "$@"; do
  dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "$exe: no imports found"; status=1; continue; }
  echo "$(basename "$exe") imports: $(echo $dlls)"
  while read -r dll; do
    [[ "$dll" =~ $allowed ]] || { echo "$exe: imports non-system DLL $dll"; status=1; }
  done <<<"$dlls"
done
exit $status
