#include "core/thunk_code.h"

#include <initializer_list>

namespace quenlet {

namespace {

// Appends bytes at a running position; all multi-byte values little-endian, as both processors
// read them.
class CodeWriter {
public:
    explicit CodeWriter(std::uint8_t* position) : position_(position) {}

    CodeWriter& bytes(std::initializer_list<std::uint8_t> values) {
        for (const std::uint8_t value : values) *position_++ = value;
        return *this;
    }
    CodeWriter& u16(std::uint16_t value) { return little(value, 2); }
    CodeWriter& u32(std::uint32_t value) { return little(value, 4); }
    CodeWriter& u64(std::uint64_t value) { return little(value, 8); }

private:
    CodeWriter& little(std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i) *position_++ = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }

    std::uint8_t* position_;
};

// Displacement of a relative jump that ends at `endOffset` in the block. Unsigned arithmetic
// wraps exactly as the processor adds it.
std::uint32_t jumpDistance(std::uint32_t blockAddress, std::size_t endOffset,
                           std::uint32_t target) {
    return target - (blockAddress + static_cast<std::uint32_t>(endOffset));
}

}  // namespace

namespace ia32 {

void writeThisCallForm(std::uint8_t* block, std::uint32_t blockAddress, std::uint32_t object,
                       std::uint32_t target) {
    CodeWriter(block + kThisCallEntry)
        .bytes({0xB9}).u32(object)  // mov ecx, object
        .bytes({0xE9})  // jmp target
        .u32(jumpDistance(blockAddress, kThisCallEntry + kThisCallLength, target));
}

void writeFirstArgumentForm(std::uint8_t* block, std::uint32_t blockAddress, std::uint32_t object,
                            std::uint32_t target) {
    CodeWriter(block + kFirstArgumentEntry)
        .bytes({0xFF, 0x34, 0x24})                    // push dword [esp]
        .bytes({0xC7, 0x44, 0x24, 0x04}).u32(object)  // mov dword [esp+4], object
        .bytes({0xE9})  // jmp target
        .u32(jumpDistance(blockAddress, kFirstArgumentEntry + kFirstArgumentLength, target));
}

}  // namespace ia32

namespace x64 {

namespace {
// Home space 32 + fifth argument 8; RSP is 8 mod 16 on entry, so this realigns it for the call.
constexpr std::uint8_t kFrameSize = 0x28;
constexpr std::uint8_t kPrologLength = 4;  // sub rsp, imm8
}  // namespace

void writeThisCallForm(std::uint8_t* block, std::uint64_t object, std::uint64_t target) {
    CodeWriter(block + kThisCallEntry)
        .bytes({0x48, 0x83, 0xEC, kFrameSize})     // sub rsp, 0x28
        .bytes({0x4C, 0x89, 0x4C, 0x24, 0x20})     // mov [rsp+0x20], r9
        .bytes({0x4D, 0x89, 0xC1})                 // mov r9, r8
        .bytes({0x49, 0x89, 0xD0})                 // mov r8, rdx
        .bytes({0x48, 0x89, 0xCA})                 // mov rdx, rcx
        .bytes({0x48, 0xB9}).u64(object)           // mov rcx, object
        .bytes({0x48, 0xB8}).u64(target)           // mov rax, target
        .bytes({0xFF, 0xD0})                       // call rax
        .bytes({0x48, 0x83, 0xC4, kFrameSize})     // add rsp, 0x28
        .bytes({0xC3});                            // ret
}

void writeFirstArgumentForm(std::uint8_t* block, std::uint64_t object, std::uint64_t target) {
    CodeWriter(block + kFirstArgumentEntry)
        .bytes({0x4D, 0x89, 0xC1})        // mov r9, r8
        .bytes({0x49, 0x89, 0xD0})        // mov r8, rdx
        .bytes({0x48, 0x89, 0xCA})        // mov rdx, rcx
        .bytes({0x48, 0xB9}).u64(object)  // mov rcx, object
        .bytes({0x48, 0xB8}).u64(target)  // mov rax, target
        .bytes({0xFF, 0xE0});             // jmp rax
}

void writeUnwindData(std::uint8_t* block) {
    constexpr std::uint8_t kVersion1NoHandler = 0x01;
    constexpr std::uint8_t kAllocSmall = 2;  // UWOP_ALLOC_SMALL: size = info * 8 + 8
    constexpr std::uint8_t kAllocInfo = (kFrameSize - 8) / 8;
    CodeWriter(block + kUnwindInfoOffset)
        .bytes({kVersion1NoHandler, kPrologLength, /*CountOfCodes*/ 1, /*no frame register*/ 0})
        .bytes({kPrologLength, static_cast<std::uint8_t>(kAllocSmall | (kAllocInfo << 4))})
        .u16(0);  // the code array is padded to an even count
    CodeWriter(block + kFunctionTableOffset)
        .u32(kThisCallEntry)
        .u32(kThisCallEntry + kThisCallLength)
        .u32(kUnwindInfoOffset);
}

}  // namespace x64

}  // namespace quenlet
