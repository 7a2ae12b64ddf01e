// MemberThunk: a few bytes of generated code that let a platform callback with no usable context
// (thread start routine, subclassed window procedure, file dialog hook) call a member operation on
// one bound object. The entry address handed to the platform lives in an executable block owned
// by the thunk, so the thunk must outlive every call through it: keep it until the window is
// unsubclassed, the dialog has closed or the thread has ended.
//
// Two forms, both callable from any thread once bound:
//   bindThisCall      - window procedures and dialog hooks. The target takes the callback's four
//                       arguments as a member function: on 32-bit Windows an ordinary member
//                       (__thiscall: object in ECX, callee pops the arguments).
//   bindFirstArgument - thread start routines. The target takes the object as an extra first
//                       argument: on 32-bit Windows it must be __stdcall, so either a member
//                       declared WINAPI (g++ then passes `this` on the stack) or a static WINAPI
//                       function (C* self, void* param).
// On 64-bit Windows there is one calling convention and both forms simply receive the object as
// the first argument. The typed helpers below accept exactly the signatures that are right for the
// target being built, so a function of the wrong convention does not compile.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/thunk_member_address.h"

namespace quenlet {

// Same type as LPOFNHOOKPROC, spelled out so users need not include commdlg.h here.
using DialogHookProc = UINT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

class MemberThunk {
public:
    // Allocates the executable block; on failure codeBlock() is null and every bind returns null,
    // in which case the owner must not start the callback.
    MemberThunk();
    virtual ~MemberThunk();

    MemberThunk(const MemberThunk&) = delete;
    MemberThunk& operator=(const MemberThunk&) = delete;
    MemberThunk(MemberThunk&&) = delete;
    MemberThunk& operator=(MemberThunk&&) = delete;

    // Raw binding: `target` is a code address with the convention described above. Each returns
    // the entry to hand to the platform (block + 4 / block + 14 on 32-bit Windows), or null.
    // Binding again overwrites the code of that form.
    [[nodiscard]] void* bindThisCall(void* object, const void* target);
    [[nodiscard]] void* bindFirstArgument(void* object, const void* target);

    const std::uint8_t* codeBlock() const { return codeBlock_; }

    // Typed helpers. They return null if the block is missing or the member is virtual or needs a
    // `this` adjustment (a member of a non-primary base): the generated code can only jump to a
    // fixed address with the object unchanged.
    template <class C>
    [[nodiscard]] WNDPROC bindWindowProc(C* object,
                                         LRESULT (C::*member)(HWND, UINT, WPARAM, LPARAM)) {
        return reinterpret_cast<WNDPROC>(bindThisCall(object, memberCodeAddress(member)));
    }

    template <class C>
    [[nodiscard]] DialogHookProc bindDialogHook(C* object,
                                                UINT_PTR (C::*member)(HWND, UINT, WPARAM, LPARAM)) {
        return reinterpret_cast<DialogHookProc>(bindThisCall(object, memberCodeAddress(member)));
    }

    // Member form: declare it `DWORD WINAPI name(void* param);`.
    template <class C>
    [[nodiscard]] LPTHREAD_START_ROUTINE bindThreadStart(C* object,
                                                         DWORD (WINAPI C::*member)(void*)) {
        return reinterpret_cast<LPTHREAD_START_ROUTINE>(
            bindFirstArgument(object, memberCodeAddress(member)));
    }

    // Static form: `static DWORD WINAPI name(C* self, void* param);`.
    template <class C>
    [[nodiscard]] LPTHREAD_START_ROUTINE bindThreadStart(C* object,
                                                         DWORD (WINAPI* function)(C*, void*)) {
        return reinterpret_cast<LPTHREAD_START_ROUTINE>(
            bindFirstArgument(object, reinterpret_cast<const void*>(function)));
    }

private:
    std::uint8_t* codeBlock_ = nullptr;
};

}  // namespace quenlet
