#!/bin/sh
# Checks at compile time that MemberThunk's typed helpers accept the members each target's entry
# code can call and refuse those of another calling convention or shape.
# Usage: tests/native/check_thunk_signatures.sh
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/probe.cpp" <<'CPP'
#include "core/member_thunk.h"

struct Target {
    LRESULT onWindow(HWND, UINT, WPARAM, LPARAM);
    LRESULT CALLBACK onWindowStdcall(HWND, UINT, WPARAM, LPARAM);
    UINT_PTR onHook(HWND, UINT, WPARAM, LPARAM);
    DWORD WINAPI runStdcall(void*);
    DWORD runThisCall(void*);
    static DWORD WINAPI startStdcall(Target*, void*);
    static DWORD startCdecl(Target*, void*);
};

void bind(quenlet::MemberThunk& thunk, Target* target) {
#if PROBE == 0
    (void)thunk.bindWindowProc(target, &Target::onWindow);
    (void)thunk.bindDialogHook(target, &Target::onHook);
    (void)thunk.bindThreadStart(target, &Target::runStdcall);
    (void)thunk.bindThreadStart(target, &Target::startStdcall);
#elif PROBE == 1
    (void)thunk.bindWindowProc(target, &Target::onWindowStdcall);
#elif PROBE == 2
    (void)thunk.bindThreadStart(target, &Target::runThisCall);
#elif PROBE == 3
    (void)thunk.bindThreadStart(target, &Target::startCdecl);
#elif PROBE == 4
    (void)thunk.bindWindowProc(target, &Target::runStdcall);
#elif PROBE == 5
    (void)thunk.bindThreadStart(target, &Target::onWindow);
#elif PROBE == 6
    thunk.bindWindowProc(target, &Target::onWindow);  // entry dropped
#endif
}
CPP

passed=0
failed=0

# expect COMPILER PROBE accept|reject DESCRIPTION
expect() {
    if "$1" -std=c++20 -Wall -Wextra -Werror -fsyntax-only -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
        -I"$root" -DPROBE="$2" "$work/probe.cpp" 2>"$work/errors"; then
        outcome=accept
    else
        outcome=reject
    fi
    if [ "$outcome" = "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1: $4 ($outcome, expected $3)"
        cat "$work/errors"
    fi
}

for compiler in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
    expect $compiler 0 accept "members and functions of the right shape"
    expect $compiler 4 reject "thread start member bound as a window procedure"
    expect $compiler 5 reject "window procedure bound as a thread start"
    expect $compiler 6 reject "discarded entry"
done
# Only 32-bit Windows has more than one calling convention to confuse.
expect i686-w64-mingw32-g++ 1 reject "__stdcall member as a window procedure"
expect i686-w64-mingw32-g++ 2 reject "__thiscall member as a thread start"
expect i686-w64-mingw32-g++ 3 reject "cdecl function as a thread start"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
