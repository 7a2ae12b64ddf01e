#include "core/member_thunk.h"

#include "core/thunk_code.h"

namespace quenlet {

namespace {

#if defined(__x86_64__) || defined(_M_X64)

constexpr std::size_t kBlockSize = x64::kBlockSize;

PRUNTIME_FUNCTION functionTable(std::uint8_t* block) {
    return reinterpret_cast<PRUNTIME_FUNCTION>(block + x64::kFunctionTableOffset);
}

// The register form owns a stack frame, so the unwinder has to be told about it.
bool registerUnwindData(std::uint8_t* block) {
    x64::writeUnwindData(block);
    return RtlAddFunctionTable(functionTable(block), x64::kFunctionTableEntries,
                               reinterpret_cast<DWORD64>(block)) != FALSE;
}

void unregisterUnwindData(std::uint8_t* block) { RtlDeleteFunctionTable(functionTable(block)); }

#elif defined(__i386__) || defined(_M_IX86)

constexpr std::size_t kBlockSize = ia32::kBlockSize;

// IA-32 stack walks follow the frame chain; the entries never touch EBP or build a frame.
bool registerUnwindData(std::uint8_t*) { return true; }
void unregisterUnwindData(std::uint8_t*) {}

std::uint32_t address32(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

#else
#error "MemberThunk generates code for IA-32 and x86-64 only"
#endif

void flushCode(const std::uint8_t* start, std::size_t length) {
    FlushInstructionCache(GetCurrentProcess(), start, length);
}

}  // namespace

MemberThunk::MemberThunk() {
    auto* const block = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, kBlockSize, MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    if (block == nullptr) return;
    codeBlock_ = block;
    // Code the unwinder cannot describe is unsafe to run, so a failed registration counts as a
    // failed allocation.
    if (!registerUnwindData(codeBlock_)) {
        VirtualFree(codeBlock_, 0, MEM_RELEASE);
        codeBlock_ = nullptr;
    }
}

MemberThunk::~MemberThunk() {
    if (codeBlock_ == nullptr) return;
    unregisterUnwindData(codeBlock_);
    VirtualFree(codeBlock_, 0, MEM_RELEASE);
}

void* MemberThunk::bindThisCall(void* object, const void* target) {
    if (codeBlock_ == nullptr || target == nullptr) return nullptr;
#if defined(__x86_64__) || defined(_M_X64)
    x64::writeThisCallForm(codeBlock_, reinterpret_cast<std::uint64_t>(object),
                           reinterpret_cast<std::uint64_t>(target));
    std::uint8_t* const entry = codeBlock_ + x64::kThisCallEntry;
    flushCode(entry, x64::kThisCallLength);
#else
    ia32::writeThisCallForm(codeBlock_, address32(codeBlock_), address32(object),
                            address32(target));
    std::uint8_t* const entry = codeBlock_ + ia32::kThisCallEntry;
    flushCode(entry, ia32::kThisCallLength);
#endif
    return entry;
}

void* MemberThunk::bindFirstArgument(void* object, const void* target) {
    if (codeBlock_ == nullptr || target == nullptr) return nullptr;
#if defined(__x86_64__) || defined(_M_X64)
    x64::writeFirstArgumentForm(codeBlock_, reinterpret_cast<std::uint64_t>(object),
                                reinterpret_cast<std::uint64_t>(target));
    std::uint8_t* const entry = codeBlock_ + x64::kFirstArgumentEntry;
    flushCode(entry, x64::kFirstArgumentLength);
#else
    ia32::writeFirstArgumentForm(codeBlock_, address32(codeBlock_), address32(object),
                                 address32(target));
    std::uint8_t* const entry = codeBlock_ + ia32::kFirstArgumentEntry;
    flushCode(entry, ia32::kFirstArgumentLength);
#endif
    return entry;
}

}  // namespace quenlet
