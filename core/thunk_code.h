// Byte writers for the entry code of MemberThunk, one set per processor. They only fill a byte
// buffer: no platform calls, so the IA-32 forms can be built and executed on any i386 system and
// both encodings can be checked on a build for the other processor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenlet {

// IA-32: a 36-byte block holding two independent entries.
//   +4  register form:  mov ecx, object / jmp target
//   +14 stack form:     push [esp] / mov [esp+4], object / jmp target
// Relative jumps are computed from the address the block runs at, so the writers take that address
// separately from the buffer they fill.
namespace ia32 {

inline constexpr std::size_t kBlockSize = 36;
inline constexpr std::size_t kThisCallEntry = 4;
inline constexpr std::size_t kThisCallLength = 10;
inline constexpr std::size_t kFirstArgumentEntry = 14;
inline constexpr std::size_t kFirstArgumentLength = 16;

// Writes block[4..13]: the bound object goes into ECX and control jumps to a callee-cleanup
// (__thiscall) target taking the callback's own arguments.
void writeThisCallForm(std::uint8_t* block, std::uint32_t blockAddress, std::uint32_t object,
                       std::uint32_t target);

// Writes block[14..29]: the bound object becomes an extra first stack argument of a
// callee-cleanup (__stdcall) target that takes one argument more than the callback.
void writeFirstArgumentForm(std::uint8_t* block, std::uint32_t blockAddress, std::uint32_t object,
                            std::uint32_t target);

}  // namespace ia32

// x86-64 (Windows calling convention): the object cannot simply be slipped under the return
// address, because arguments travel in RCX, RDX, R8, R9. Both forms shift the callback's arguments
// one place to the right and put the object in RCX.
//   +0  register form, callbacks of up to four arguments: the fourth argument moves to the stack,
//       which the caller's frame does not provide, so this form owns a 40-byte frame (32 bytes of
//       home space plus the fifth slot, keeping RSP 16-byte aligned at the call) and calls the
//       target. The frame is described by unwind data in the same block so stack walks and
//       exception dispatch can pass through it.
//   +48 stack form, callbacks of up to three arguments: registers only, leaves by a jump with
//       RSP untouched, so it never appears on the stack and needs no unwind data.
//   +80 UNWIND_INFO of the register form; +88 its RUNTIME_FUNCTION, addresses relative to +0.
// Hence the block is larger than the 36 bytes of the IA-32 layout.
namespace x64 {

inline constexpr std::size_t kThisCallEntry = 0;
inline constexpr std::size_t kThisCallLength = 45;
// Where the called target returns to inside the register form (just after `call rax`).
inline constexpr std::size_t kThisCallReturnOffset = 40;
inline constexpr std::size_t kFirstArgumentEntry = 48;
inline constexpr std::size_t kFirstArgumentLength = 31;
inline constexpr std::size_t kUnwindInfoOffset = 80;
inline constexpr std::size_t kUnwindInfoLength = 8;
inline constexpr std::size_t kFunctionTableOffset = 88;
inline constexpr std::size_t kFunctionTableEntries = 1;
inline constexpr std::size_t kRuntimeFunctionLength = 12;
inline constexpr std::size_t kBlockSize =
    kFunctionTableOffset + kFunctionTableEntries * kRuntimeFunctionLength;

// Writes block[0..44]: target(object, a1, a2, a3, a4) for a callback entry(a1, a2, a3, a4).
void writeThisCallForm(std::uint8_t* block, std::uint64_t object, std::uint64_t target);

// Writes block[48..78]: target(object, a1, a2, a3) for a callback entry(a1, a2, a3).
void writeFirstArgumentForm(std::uint8_t* block, std::uint64_t object, std::uint64_t target);

// Writes the unwind description of the register form and a one-entry function table for it
// (block[80..99]). It does not depend on the binding, so it is written once per block.
void writeUnwindData(std::uint8_t* block);

}  // namespace x64

}  // namespace quenlet
