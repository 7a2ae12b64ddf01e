#!/usr/bin/env bash
# Checks what the Windows executables need of the system they run on, Windows 7 or later:
# - every executable imports only DLLs a bare Windows has (the mingw runtime is linked in
#   statically), and its PE header names Windows 7 (subsystem and OS version 6.1);
# - an executable given with --reviewed imports only the functions on its reviewed list, each of
#   which Windows 7 has. A function not on the list fails the check by name: a newer API cannot
#   slip in unnoticed. Review it (is it in Windows 7's system DLLs?), then add it to the list.
#   Listed functions that are no longer imported are reported, and may be taken off the list.
# Usage: check_imports.sh OBJDUMP [--reviewed LIST EXE]... [EXE]...
set -euo pipefail
objdump=${1:?"usage: check_imports.sh OBJDUMP [--reviewed LIST EXE]... [EXE]..."}; shift
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32|oleaut32|oleacc|shlwapi|msvcrt|ntdll|ws2_32|version|uxtheme)\.dll$'
readonly windows_version=6.1
status=0

# "dll function" per imported function (dll in lower case; "#N" for an import by ordinal), sorted.
# awk reads to the end, so that objdump never writes into a closed pipe.
imported_functions() {
  "$objdump" -p "$1" | awk '
    /^The Import Tables/ { inside = 1; next }
    inside && /^The / { inside = 0 }
    inside && /^\tDLL Name: / { dll = tolower($3); next }
    inside && dll != "" && /^\t[0-9a-f]+\t/ {
      n = split($0, field, /[ \t]+/)
      name = field[n]
      if (name ~ /^[0-9]+$/ || name == "<none>") name = "#" field[3]
      print dll, name
    }' | sort -u
}

header_field() { "$objdump" -p "$1" | awk -v field="$2" '$1 == field && !found { print $2; found = 1 }'; }

check_exe() {
  local -r exe=$1 name=$(basename "$1")
  local dlls dll version
  dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "$exe: no imports found"; status=1; return; }
  echo "$name imports: $(echo $dlls)"
  while read -r dll; do
    [[ "$dll" =~ $allowed ]] || { echo "$exe: imports non-system DLL $dll"; status=1; }
  done <<<"$dlls"
  for kind in Subsystem OSystem; do
    version=$(header_field "$exe" "Major${kind}Version").$(header_field "$exe" "Minor${kind}Version")
    [ "$version" = "$windows_version" ] || {
      echo "$exe: the PE header's $([ $kind = OSystem ] && echo "OS" || echo subsystem) version is" \
        "$version, not $windows_version (Windows 7)"
      status=1
    }
  done
}

check_functions() {
  local -r list=$1 exe=$2 name=$(basename "$2")
  [ -r "$list" ] || { echo "$exe: no reviewed list $list"; status=1; return; }
  local -r reviewed=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' "$list" | awk 'NF == 2 { print tolower($1), $2 }' | sort -u)
  local -r actual=$(imported_functions "$exe")
  local -r unexpected=$(comm -13 <(echo "$reviewed") <(echo "$actual"))
  local -r dropped=$(comm -23 <(echo "$reviewed") <(echo "$actual"))
  echo "$name imports $(echo "$actual" | grep -c .) functions, checked against $list"
  if [ -n "$unexpected" ]; then
    while read -r dll function; do
      echo "$exe: imports $function from $dll, which is not on the reviewed list $list"
    done <<<"$unexpected"
    status=1
  fi
  if [ -n "$dropped" ]; then
    while read -r dll function; do
      echo "note: $name no longer imports $function from $dll (on $list)"
    done <<<"$dropped"
  fi
}

while (($#)); do
  if [ "$1" = --reviewed ]; then
    (($# >= 3)) || { echo "--reviewed needs LIST and EXE"; exit 2; }
    check_exe "$3"
    check_functions "$2" "$3"
    shift 3
  else
    check_exe "$1"
    shift
  fi
done
exit $status
