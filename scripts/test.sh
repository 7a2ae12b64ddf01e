#!/usr/bin/env bash
# The whole test suite from a bare Debian 12 or 13: installs what is missing, builds both Windows
# targets, brings up the serial rig (private Wine prefix, Xvfb display, virtual null-modem) and
# runs every test of both targets through one ctest (entries x86_64.* and i686.*; -L i686 runs one
# target alone). Ends with ctest's summary; exits with its status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh"
"$root/scripts/build.sh" x86_64 i686

rig="$root/build/rig"
"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true
"$root/tests/rig/rig.sh" up "$rig" 5
trap '"$root/tests/rig/rig.sh" down "$rig" >/dev/null 2>&1 || true' EXIT
# shellcheck disable=SC1091
source "$rig/env.sh"

# Where the machine cannot run 32-bit code ctest reports the i686 entries as skipped: say why once.
if ! reason=$(bash "$root/scripts/ia32.sh" check 2>&1); then
  echo "test: the i686 entries will be skipped: ${reason#ia32: }"
elif [[ ! -x /usr/lib/wine/wine ]]; then
  echo "test: the i686 entries will be skipped: 32-bit Wine (wine32:i386) is not installed"
fi

# One run over both build trees, so the entries of both targets share one desktop lock.
cd "$root/build"
echo 'subdirs("x86_64" "i686")' >CTestTestfile.cmake
status=0
ctest --output-on-failure --timeout 300 "$@" || status=$?
exit $status
