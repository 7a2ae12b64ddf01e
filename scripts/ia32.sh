#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 code, decided by building a tiny `gcc -m32` program and
# running it (a 64-bit kernel may lack IA-32 emulation, or have it switched off at boot).
#
#   ia32.sh check          exit 0 when it runs; otherwise print why on stderr and exit 1
#   ia32.sh run CMD...     run CMD when it runs and 32-bit Wine is installed; otherwise print why
#                          and exit 77, which ctest reports as skipped (the i686 test entries
#                          start through this)
#
# QUENLET_IA32=no makes the check fail as it would on a machine without 32-bit support, to see
# what such a machine reports.
set -uo pipefail

# Prints the reason on stdout when 32-bit code does not run here.
why_not() {
    if [[ ${QUENLET_IA32:-} == no ]]; then
        echo "QUENLET_IA32=no: treated as a machine that cannot run 32-bit code"
        return 1
    fi
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/quenlet-ia32.XXXXXX") || { echo "no temporary directory"; return 1; }
    local reason=
    if ! gcc -m32 -x c -o "$work/probe" - 2>"$work/build.log" <<<'int main(void) { return 42; }'; then
        reason="gcc -m32 cannot build a 32-bit program: $(head -n1 "$work/build.log")"
    else
        local status=0
        "$work/probe" 2>"$work/run.log" || status=$?
        ((status == 42)) || reason="a 32-bit program does not run (status $status: $(head -n1 "$work/run.log"))"
    fi
    rm -rf -- "$work"
    [[ -z $reason ]] || { echo "$reason"; return 1; }
}

case ${1:-} in
    check)
        reason=$(why_not) || { echo "ia32: $reason" >&2; exit 1; }
        ;;
    run)
        shift
        (($#)) || { echo "usage: ia32.sh run CMD..." >&2; exit 2; }
        if ! reason=$(why_not); then
            echo "SKIPPED: this machine cannot run 32-bit code ($reason)"
            exit 77
        fi
        # Debian's 32-bit Wine loader; scripts/setup.sh installs it where 32-bit code runs.
        if [[ ! -x /usr/lib/wine/wine ]]; then
            echo "SKIPPED: 32-bit Wine is not installed (wine32:i386 could not be installed by scripts/setup.sh)"
            exit 77
        fi
        exec "$@"
        ;;
    *)
        sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
        exit 2
        ;;
esac
