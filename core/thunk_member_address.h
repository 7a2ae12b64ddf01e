// The code address of a member function, for generated code that jumps to it directly.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace quenlet {

// g++ (also for mingw targets) lays out a pointer to member function as in the Itanium C++ ABI:
// {word, this-adjustment}. For a non-virtual function the word is the code address; for a virtual
// one it is 1 + the vtable offset. Only a non-virtual function reached without adjusting `this`
// can be the target of a thunk, so anything else yields null.
template <class MemberFunction>
const void* memberCodeAddress(MemberFunction member) {
    static_assert(std::is_member_function_pointer_v<MemberFunction>);
#if !(defined(__i386__) || defined(__x86_64__))
    static_assert(sizeof(MemberFunction) == 0, "member pointer layout only known for x86 g++");
#endif
    struct ItaniumMemberPointer {
        std::uintptr_t word;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(MemberFunction) == sizeof(ItaniumMemberPointer));
    const auto representation = std::bit_cast<ItaniumMemberPointer>(member);
    const bool isVirtual = (representation.word & 1) != 0;
    if (representation.word == 0 || isVirtual || representation.adjustment != 0) return nullptr;
    return reinterpret_cast<const void*>(representation.word);
}

}  // namespace quenlet
