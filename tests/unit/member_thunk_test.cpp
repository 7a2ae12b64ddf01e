// MemberThunk: the IA-32 byte layout checked byte by byte, and the code of the running build
// executed for real through the platform (thread start, subclassed window, file dialog hook) and
// walked through by the unwinder.
#include <gtest/gtest.h>

#include <windows.h>

#include <commdlg.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "core/member_thunk.h"
#include "core/thunk_code.h"
#include "framework/handles.h"

#if defined(__x86_64__)
// Returns the caller's stack pointer at the call instruction, i.e. what the ABI requires to be
// 16-byte aligned at every call site.
asm(R"(
    .text
    .globl quenletStackPointerAtCall
    .def quenletStackPointerAtCall; .scl 2; .type 32; .endef
    .seh_proc quenletStackPointerAtCall
quenletStackPointerAtCall:
    .seh_endprologue
    leaq 8(%rsp), %rax
    ret
    .seh_endproc
)");
extern "C" std::uintptr_t quenletStackPointerAtCall();
#endif

namespace quenlet {
namespace {

constexpr DWORD kWaitLimitMs = 10000;

std::uint32_t readLittle32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// True when the stack was aligned as the ABI promises on entry to the calling function.
bool callSiteStackAligned() {
#if defined(__x86_64__)
    return quenletStackPointerAtCall() % 16 == 0;
#else
    return true;  // 32-bit Windows only promises 4 bytes, which the IA-32 forms never disturb
#endif
}

// ---------------------------------------------------------------------------------------------
// IA-32 layout, produced by the plain writer whatever the build's processor.

using Ia32Block = std::array<std::uint8_t, ia32::kBlockSize>;
constexpr std::uint8_t kUntouched = 0xCC;

Ia32Block untouchedIa32Block() {
    Ia32Block block;
    block.fill(kUntouched);
    return block;
}

void expectOnlyRangeWritten(const Ia32Block& block, std::size_t first,
                            const std::vector<std::uint8_t>& expected) {
    for (std::size_t offset = 0; offset < block.size(); ++offset) {
        const bool inside = offset >= first && offset < first + expected.size();
        const std::uint8_t want = inside ? expected[offset - first] : kUntouched;
        EXPECT_EQ(block[offset], want) << "offset " << offset;
    }
}

TEST(MemberThunkIa32Layout, RegisterFormBytes) {
    Ia32Block block = untouchedIa32Block();
    ia32::writeThisCallForm(block.data(), 0x00401000, 0x11223344, 0x00402468);
    // 0x00402468 - (0x00401000 + 14) = 0x0000145A
    expectOnlyRangeWritten(block, 4,
                           {0xB9, 0x44, 0x33, 0x22, 0x11, 0xE9, 0x5A, 0x14, 0x00, 0x00});
}

TEST(MemberThunkIa32Layout, StackFormBytes) {
    Ia32Block block = untouchedIa32Block();
    ia32::writeFirstArgumentForm(block.data(), 0x00401000, 0xA1B2C3D4, 0x00405000);
    // 0x00405000 - (0x00401000 + 30) = 0x00003FE2
    expectOnlyRangeWritten(block, 14,
                           {0xFF, 0x34, 0x24, 0xC7, 0x44, 0x24, 0x04, 0xD4, 0xC3, 0xB2, 0xA1,
                            0xE9, 0xE2, 0x3F, 0x00, 0x00});
}

TEST(MemberThunkIa32Layout, TargetBelowBlockGivesNegativeDistance) {
    Ia32Block block = untouchedIa32Block();
    ia32::writeThisCallForm(block.data(), 0x10000000, 0x00330000, 0x00401000);
    ia32::writeFirstArgumentForm(block.data(), 0x10000000, 0x00330000, 0x00401000);
    // 0x00401000 - 0x1000000E and 0x00401000 - 0x1000001E, two's complement
    EXPECT_EQ(readLittle32(&block[10]), 0xF0400FF2u);
    EXPECT_EQ(readLittle32(&block[26]), 0xF0400FE2u);
    EXPECT_EQ(static_cast<std::int32_t>(readLittle32(&block[10])), 0x00401000 - 0x1000000E);
    EXPECT_EQ(static_cast<std::int32_t>(readLittle32(&block[26])), 0x00401000 - 0x1000001E);
    EXPECT_EQ(block[9], 0xE9);
    EXPECT_EQ(block[25], 0xE9);
}

TEST(MemberThunkIa32Layout, JumpsLandOnTheTargetFromAnyPlace) {
    struct Placement {
        std::uint32_t block;
        std::uint32_t target;
    };
    const Placement placements[] = {
        {0x00401000, 0x00401000}, {0x7FFE0000, 0x00010000}, {0x00010000, 0x7FFE0000},
        {0xFFFFF000, 0x00001000}, {0x00001000, 0xFFFFF000}, {0x12345677, 0x12345677 + 14},
    };
    for (const Placement& placement : placements) {
        Ia32Block block = untouchedIa32Block();
        ia32::writeThisCallForm(block.data(), placement.block, 0, placement.target);
        ia32::writeFirstArgumentForm(block.data(), placement.block, 0, placement.target);
        // The processor adds rel32 to the address after the jump, modulo 2^32.
        EXPECT_EQ(placement.block + 14 + readLittle32(&block[10]), placement.target)
            << std::hex << placement.block << " -> " << placement.target;
        EXPECT_EQ(placement.block + 30 + readLittle32(&block[26]), placement.target)
            << std::hex << placement.block << " -> " << placement.target;
    }
}

TEST(MemberThunkIa32Layout, RewritingOneFormKeepsTheOther) {
    Ia32Block block = untouchedIa32Block();
    ia32::writeThisCallForm(block.data(), 0x00401000, 0x01010101, 0x00402000);
    ia32::writeFirstArgumentForm(block.data(), 0x00401000, 0x02020202, 0x00403000);
    ia32::writeThisCallForm(block.data(), 0x00401000, 0x03030303, 0x00404000);
    EXPECT_EQ(readLittle32(&block[5]), 0x03030303u);
    EXPECT_EQ(readLittle32(&block[10]), 0x00404000u - 0x0040100Eu);
    EXPECT_EQ(readLittle32(&block[21]), 0x02020202u);
    EXPECT_EQ(readLittle32(&block[26]), 0x00403000u - 0x0040101Eu);
    EXPECT_EQ(block[0], kUntouched);
    EXPECT_EQ(block[30], kUntouched);
    EXPECT_EQ(block[35], kUntouched);
}

// ---------------------------------------------------------------------------------------------
// The x86-64 encoding, byte by byte, before it is executed below.

TEST(MemberThunkX64Layout, RegisterFormBytes) {
    std::array<std::uint8_t, x64::kBlockSize> block{};
    x64::writeThisCallForm(block.data(), 0x1122334455667788, 0x99AABBCCDDEEFF00);
    const std::vector<std::uint8_t> expected = {
        0x48, 0x83, 0xEC, 0x28,                                      // sub rsp, 0x28
        0x4C, 0x89, 0x4C, 0x24, 0x20,                                // mov [rsp+0x20], r9
        0x4D, 0x89, 0xC1,                                            // mov r9, r8
        0x49, 0x89, 0xD0,                                            // mov r8, rdx
        0x48, 0x89, 0xCA,                                            // mov rdx, rcx
        0x48, 0xB9, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // mov rcx, object
        0x48, 0xB8, 0x00, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99,  // mov rax, target
        0xFF, 0xD0,                                                  // call rax
        0x48, 0x83, 0xC4, 0x28,                                      // add rsp, 0x28
        0xC3,                                                        // ret
    };
    ASSERT_EQ(expected.size(), x64::kThisCallLength);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + x64::kThisCallLength),
              expected);
    EXPECT_EQ(block[x64::kThisCallReturnOffset], 0x48) << "return lands on add rsp";
}

TEST(MemberThunkX64Layout, StackFormBytes) {
    std::array<std::uint8_t, x64::kBlockSize> block{};
    x64::writeFirstArgumentForm(block.data(), 0x1122334455667788, 0x99AABBCCDDEEFF00);
    const std::vector<std::uint8_t> expected = {
        0x4D, 0x89, 0xC1,                                            // mov r9, r8
        0x49, 0x89, 0xD0,                                            // mov r8, rdx
        0x48, 0x89, 0xCA,                                            // mov rdx, rcx
        0x48, 0xB9, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // mov rcx, object
        0x48, 0xB8, 0x00, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99,  // mov rax, target
        0xFF, 0xE0,                                                  // jmp rax
    };
    ASSERT_EQ(expected.size(), x64::kFirstArgumentLength);
    const auto* const form = block.data() + x64::kFirstArgumentEntry;
    EXPECT_EQ(std::vector<std::uint8_t>(form, form + x64::kFirstArgumentLength), expected);
    for (std::size_t offset = 0; offset < x64::kFirstArgumentEntry; ++offset)
        EXPECT_EQ(block[offset], 0) << "offset " << offset;
}

TEST(MemberThunkX64Layout, UnwindDataDescribesTheRegisterFormFrame) {
    std::array<std::uint8_t, x64::kBlockSize> block{};
    x64::writeUnwindData(block.data());
    const std::uint8_t* const info = block.data() + x64::kUnwindInfoOffset;
    EXPECT_EQ(info[0], 0x01) << "version 1, no handler";
    EXPECT_EQ(info[1], 4) << "prolog is sub rsp, imm8";
    EXPECT_EQ(info[2], 1) << "one unwind code";
    EXPECT_EQ(info[3], 0) << "no frame register";
    EXPECT_EQ(info[4], 4) << "code takes effect after the prolog";
    EXPECT_EQ(info[5], 0x42) << "UWOP_ALLOC_SMALL of 4 * 8 + 8 = 0x28 bytes";
    const std::uint8_t* const table = block.data() + x64::kFunctionTableOffset;
    EXPECT_EQ(readLittle32(table), x64::kThisCallEntry);
    EXPECT_EQ(readLittle32(table + 4), x64::kThisCallEntry + x64::kThisCallLength);
    EXPECT_EQ(readLittle32(table + 8), x64::kUnwindInfoOffset);
    EXPECT_EQ(x64::kUnwindInfoOffset % 4, 0u);
    EXPECT_EQ(x64::kFunctionTableOffset % 4, 0u);
    EXPECT_GE(x64::kFirstArgumentEntry, x64::kThisCallEntry + x64::kThisCallLength);
    EXPECT_GE(x64::kUnwindInfoOffset, x64::kFirstArgumentEntry + x64::kFirstArgumentLength);
}

// ---------------------------------------------------------------------------------------------
// The running build's code, executed.

#if defined(__x86_64__)
constexpr std::size_t kThisCallEntry = x64::kThisCallEntry;
constexpr std::size_t kFirstArgumentEntry = x64::kFirstArgumentEntry;
#else
constexpr std::size_t kThisCallEntry = ia32::kThisCallEntry;
constexpr std::size_t kFirstArgumentEntry = ia32::kFirstArgumentEntry;
#endif

static_assert(std::is_same_v<DialogHookProc, LPOFNHOOKPROC>);
static_assert(std::has_virtual_destructor_v<MemberThunk>);
static_assert(!std::is_copy_constructible_v<MemberThunk>);
static_assert(!std::is_copy_assignable_v<MemberThunk>);

class Worker {
public:
    explicit Worker(DWORD seed) : seed_(seed) {}

    DWORD WINAPI run(void* param) {
        record(this, param);
        return seed_ * 7 + 3;
    }

    static DWORD WINAPI start(Worker* self, void* param) {
        self->record(self, param);
        return self->seed_ * 5 + 1;
    }

    const Worker* receivedSelf = nullptr;
    void* receivedParam = reinterpret_cast<void*>(1);
    DWORD ranOnThread = 0;
    bool stackAligned = false;

private:
    void record(const Worker* self, void* param) {
        receivedSelf = self;
        receivedParam = param;
        ranOnThread = GetCurrentThreadId();
        stackAligned = callSiteStackAligned();
    }

    DWORD seed_;
};

// Starts a thread at `entry` with a NULL parameter, as the controller does, and returns its exit
// code once it has ended.
DWORD exitCodeOfThreadAt(LPTHREAD_START_ROUTINE entry) {
    const UniqueHandle thread(CreateThread(nullptr, 0, entry, nullptr, 0, nullptr));
    EXPECT_TRUE(thread.valid());
    if (!thread.valid()) return 0;
    EXPECT_EQ(WaitForSingleObject(thread.get(), kWaitLimitMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
    return exitCode;
}

TEST(MemberThunk, BlockIsAllocatedAndEntriesLieAtTheirOffsets) {
    MemberThunk thunk;
    ASSERT_NE(thunk.codeBlock(), nullptr);
    int object = 0;
    const void* const target = reinterpret_cast<const void*>(&exitCodeOfThreadAt);
    EXPECT_EQ(thunk.bindThisCall(&object, target), thunk.codeBlock() + kThisCallEntry);
    EXPECT_EQ(thunk.bindFirstArgument(&object, target), thunk.codeBlock() + kFirstArgumentEntry);
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_NE(VirtualQuery(thunk.codeBlock(), &region, sizeof region), 0u);
    EXPECT_EQ(region.Protect, static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
    EXPECT_EQ(region.State, static_cast<DWORD>(MEM_COMMIT));
}

TEST(MemberThunk, NullTargetIsNotBound) {
    MemberThunk thunk;
    int object = 0;
    EXPECT_EQ(thunk.bindThisCall(&object, nullptr), nullptr);
    EXPECT_EQ(thunk.bindFirstArgument(&object, nullptr), nullptr);
}

TEST(MemberThunk, ThreadStartedWithNullParameterReceivesTheBoundMember) {
    Worker worker(6);
    MemberThunk thunk;
    const LPTHREAD_START_ROUTINE entry = thunk.bindThreadStart(&worker, &Worker::run);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(entry),
              thunk.codeBlock() + kFirstArgumentEntry);

    EXPECT_EQ(exitCodeOfThreadAt(entry), 6u * 7 + 3);
    EXPECT_EQ(worker.receivedSelf, &worker);
    EXPECT_EQ(worker.receivedParam, nullptr);
    EXPECT_NE(worker.ranOnThread, 0u);
    EXPECT_NE(worker.ranOnThread, GetCurrentThreadId());
    EXPECT_TRUE(worker.stackAligned);
}

TEST(MemberThunk, ThreadStartedThroughStaticFunctionReceivesTheBoundObject) {
    Worker worker(11);
    MemberThunk thunk;
    const LPTHREAD_START_ROUTINE entry = thunk.bindThreadStart(&worker, &Worker::start);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(exitCodeOfThreadAt(entry), 11u * 5 + 1);
    EXPECT_EQ(worker.receivedSelf, &worker);
    EXPECT_EQ(worker.receivedParam, nullptr);
    EXPECT_TRUE(worker.stackAligned);
}

TEST(MemberThunk, RebindingTheStackFormSwitchesObjects) {
    Worker first(2);
    Worker second(3);
    MemberThunk thunk;
    const LPTHREAD_START_ROUTINE firstEntry = thunk.bindThreadStart(&first, &Worker::run);
    EXPECT_EQ(exitCodeOfThreadAt(firstEntry), 2u * 7 + 3);
    const LPTHREAD_START_ROUTINE secondEntry = thunk.bindThreadStart(&second, &Worker::start);
    EXPECT_EQ(secondEntry, firstEntry);
    EXPECT_EQ(exitCodeOfThreadAt(secondEntry), 3u * 5 + 1);
    EXPECT_EQ(second.receivedSelf, &second);
    EXPECT_NE(first.ranOnThread, second.ranOnThread);
}

// A window whose procedure is replaced by a member operation through a thunk.
class UniqueWindow {
public:
    explicit UniqueWindow(HWND window) : window_(window) {}
    ~UniqueWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    UniqueWindow(const UniqueWindow&) = delete;
    UniqueWindow& operator=(const UniqueWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

constexpr UINT kProbeMessage = WM_APP + 7;

class ProbeWindowHandler {
public:
    explicit ProbeWindowHandler(LRESULT base) : base_(base) {}

    LRESULT onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kProbeMessage) {
            ++probeCalls;
            seenWindow = window;
            seenWParam = wParam;
            seenLParam = lParam;
            stackAligned = callSiteStackAligned();
            return base_ + static_cast<LRESULT>(wParam ^ static_cast<WPARAM>(lParam));
        }
        if (message == WM_SETTEXT) ++setTextCalls;
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }

    WNDPROC previous = nullptr;
    int probeCalls = 0;
    int setTextCalls = 0;
    HWND seenWindow = nullptr;
    WPARAM seenWParam = 0;
    LPARAM seenLParam = 0;
    bool stackAligned = false;

private:
    LRESULT base_;
};

const WPARAM kProbeWParam = static_cast<WPARAM>(UINT64_C(0x0123456789ABCDEF));
const LPARAM kProbeLParam = static_cast<LPARAM>(UINT64_C(0xFEDCBA9876543210));

HWND createStatic() {
    return CreateWindowExA(0, "STATIC", "before", WS_POPUP, 0, 0, 120, 20, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(MemberThunk, SubclassedWindowRoutesAllArgumentsToTheMember) {
    const UniqueWindow window(createStatic());
    ASSERT_NE(window.get(), nullptr);
    ProbeWindowHandler handler(1000);
    MemberThunk thunk;
    const WNDPROC entry = thunk.bindWindowProc(&handler, &ProbeWindowHandler::onMessage);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(entry), thunk.codeBlock() + kThisCallEntry);
    handler.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry)));
    ASSERT_NE(handler.previous, nullptr);

    const LRESULT result = SendMessageA(window.get(), kProbeMessage, kProbeWParam, kProbeLParam);
    EXPECT_EQ(result,
              1000 + static_cast<LRESULT>(kProbeWParam ^ static_cast<WPARAM>(kProbeLParam)));
    EXPECT_EQ(handler.probeCalls, 1);
    EXPECT_EQ(handler.seenWindow, window.get());
    EXPECT_EQ(handler.seenWParam, kProbeWParam);
    EXPECT_EQ(handler.seenLParam, kProbeLParam);
    EXPECT_TRUE(handler.stackAligned);

    // Everything else goes on to the control's own procedure.
    EXPECT_TRUE(SetWindowTextA(window.get(), "after"));
    EXPECT_EQ(handler.setTextCalls, 1);
    char text[32] = {};
    EXPECT_EQ(GetWindowTextA(window.get(), text, sizeof text), 5);
    EXPECT_STREQ(text, "after");

    SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(handler.previous));
    EXPECT_EQ(SendMessageA(window.get(), kProbeMessage, 1, 2), 0);
    EXPECT_EQ(handler.probeCalls, 1) << "unsubclassed window no longer reaches the member";
}

TEST(MemberThunk, PostedMessageReachesTheMemberThroughTheMessageLoop) {
    const UniqueWindow window(createStatic());
    ASSERT_NE(window.get(), nullptr);
    ProbeWindowHandler handler(5);
    MemberThunk thunk;
    const WNDPROC entry = thunk.bindWindowProc(&handler, &ProbeWindowHandler::onMessage);
    ASSERT_NE(entry, nullptr);
    handler.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry)));
    ASSERT_TRUE(PostMessageA(window.get(), kProbeMessage, 7, 9));

    const DWORD deadline = GetTickCount() + kWaitLimitMs;
    while (handler.probeCalls == 0 && static_cast<LONG>(deadline - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    EXPECT_EQ(handler.probeCalls, 1);
    EXPECT_EQ(handler.seenWParam, 7u);
    EXPECT_EQ(handler.seenLParam, 9);
    SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(handler.previous));
}

TEST(MemberThunk, RebindingTheRegisterFormSwitchesObjects) {
    ProbeWindowHandler first(100);
    ProbeWindowHandler second(200);
    MemberThunk thunk;
    const WNDPROC firstEntry = thunk.bindWindowProc(&first, &ProbeWindowHandler::onMessage);
    ASSERT_NE(firstEntry, nullptr);
    EXPECT_EQ(CallWindowProcA(firstEntry, nullptr, kProbeMessage, 1, 0), 101);

    const WNDPROC secondEntry = thunk.bindWindowProc(&second, &ProbeWindowHandler::onMessage);
    EXPECT_EQ(secondEntry, firstEntry);
    EXPECT_EQ(CallWindowProcA(secondEntry, nullptr, kProbeMessage, 2, 0), 202);
    EXPECT_EQ(first.probeCalls, 1);
    EXPECT_EQ(second.probeCalls, 1);
}

TEST(MemberThunk, BothFormsOfOneThunkWorkSideBySide) {
    ProbeWindowHandler handler(40);
    Worker worker(8);
    MemberThunk thunk;
    const WNDPROC windowEntry = thunk.bindWindowProc(&handler, &ProbeWindowHandler::onMessage);
    const LPTHREAD_START_ROUTINE threadEntry = thunk.bindThreadStart(&worker, &Worker::run);
    ASSERT_NE(windowEntry, nullptr);
    ASSERT_NE(threadEntry, nullptr);
    EXPECT_EQ(exitCodeOfThreadAt(threadEntry), 8u * 7 + 3);
    EXPECT_EQ(windowEntry(nullptr, kProbeMessage, 2, 0), 42);
}

struct VirtualHandler {
    virtual ~VirtualHandler() = default;
    virtual LRESULT onMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }
};

struct FirstBase {
    int first = 0;
};
struct SecondBase {
    int second = 0;
    LRESULT onMessage(HWND, UINT, WPARAM, LPARAM) { return second; }
};
struct Derived : FirstBase, SecondBase {};

TEST(MemberThunk, MembersThatNeedMoreThanAJumpAreRejected) {
    MemberThunk thunk;
    VirtualHandler withVirtual;
    EXPECT_EQ(thunk.bindWindowProc(&withVirtual, &VirtualHandler::onMessage), nullptr);

    Derived derived;
    using DerivedProc = LRESULT (Derived::*)(HWND, UINT, WPARAM, LPARAM);
    const DerivedProc adjusted = &SecondBase::onMessage;  // `this` must move to SecondBase
    EXPECT_EQ(thunk.bindWindowProc(&derived, adjusted), nullptr);
    EXPECT_EQ(thunk.bindWindowProc(&derived, DerivedProc{}), nullptr);
}

// ---------------------------------------------------------------------------------------------
// A real file dialog calling its hook through the thunk.

class DialogHookHandler {
public:
    UINT_PTR onHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
        ++calls;
        if (message == WM_INITDIALOG) {
            sawInitDialog = true;
            initParam = reinterpret_cast<const OPENFILENAMEA*>(lParam)->lCustData;
            // The explorer-style hook window is a child of the real dialog: cancel that.
            PostMessageA(GetParent(dialog), WM_COMMAND, IDCANCEL, 0);
        }
        return 0;
    }

    int calls = 0;
    bool sawInitDialog = false;
    LPARAM initParam = 0;
};

// Cancels a dialog still open on `ownerThread` after the limit, so a broken hook fails the test
// instead of leaving it waiting.
class DialogWatchdog {
public:
    explicit DialogWatchdog(DWORD ownerThread)
        : stop_(makeManualResetEvent()), ownerThread_(ownerThread),
          thread_(CreateThread(nullptr, 0, &DialogWatchdog::run, this, 0, nullptr)) {}
    ~DialogWatchdog() {
        SetEvent(stop_.get());
        if (thread_.valid()) WaitForSingleObject(thread_.get(), INFINITE);
    }
    DialogWatchdog(const DialogWatchdog&) = delete;
    DialogWatchdog& operator=(const DialogWatchdog&) = delete;

    bool fired() const { return fired_ != 0; }

private:
    static DWORD WINAPI run(void* param) {
        auto* const self = static_cast<DialogWatchdog*>(param);
        if (WaitForSingleObject(self->stop_.get(), kWaitLimitMs) == WAIT_TIMEOUT) {
            self->fired_ = 1;
            EnumThreadWindows(self->ownerThread_, &DialogWatchdog::cancel, 0);
        }
        return 0;
    }
    static BOOL CALLBACK cancel(HWND window, LPARAM) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }

    UniqueHandle stop_;
    DWORD ownerThread_;
    volatile LONG fired_ = 0;
    UniqueHandle thread_;
};

TEST(MemberThunk, FileDialogCallsItsHookThroughTheThunk) {
    DialogHookHandler handler;
    MemberThunk thunk;
    const LPOFNHOOKPROC hook = thunk.bindDialogHook(&handler, &DialogHookHandler::onHook);
    ASSERT_NE(hook, nullptr);

    char fileName[MAX_PATH] = {};
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.lpstrFile = fileName;
    request.nMaxFile = sizeof fileName;
    request.lpstrFilter = "All files\0*.*\0";
    request.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY;
    request.lpfnHook = hook;
    request.lCustData = 0x5EED;

    BOOL chosen = TRUE;
    bool watchdogFired = false;
    {
        const DialogWatchdog watchdog(GetCurrentThreadId());
        chosen = GetOpenFileNameA(&request);
        watchdogFired = watchdog.fired();
    }
    EXPECT_FALSE(chosen);
    EXPECT_EQ(CommDlgExtendedError(), 0u) << "cancelled, not failed";
    EXPECT_FALSE(watchdogFired) << "the hook never closed the dialog";
    EXPECT_TRUE(handler.sawInitDialog);
    EXPECT_EQ(handler.initParam, 0x5EED);
    EXPECT_GT(handler.calls, 1);
}

// ---------------------------------------------------------------------------------------------
// Stack walks through the register form, which owns a frame.

#if defined(__x86_64__)

// Start address of the function containing `pc`, from the unwind tables.
std::uintptr_t functionStart(DWORD64 pc) {
    DWORD64 imageBase = 0;
    const PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(pc, &imageBase, nullptr);
    if (function == nullptr) return 0;
    return static_cast<std::uintptr_t>(imageBase + function->BeginAddress);
}

// Walks this thread's stack from the caller outwards with the unwinder, as exception dispatch
// does, and returns the program counter of each frame.
__attribute__((noinline)) std::vector<DWORD64> unwindFromHere() {
    // The committed part of the stack runs from here up to its base; walks stay inside it.
    MEMORY_BASIC_INFORMATION stack{};
    VirtualQuery(&stack, &stack, sizeof stack);
    const auto stackLow = reinterpret_cast<DWORD64>(stack.AllocationBase);
    const auto stackHigh = reinterpret_cast<DWORD64>(stack.BaseAddress) + stack.RegionSize;
    CONTEXT context{};
    RtlCaptureContext(&context);
    std::vector<DWORD64> frames;
    while (frames.size() < 64 && context.Rip != 0 && context.Rsp >= stackLow &&
           context.Rsp < stackHigh) {
        frames.push_back(context.Rip);
        DWORD64 imageBase = 0;
        const PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function == nullptr) {  // leaf code: the return address is on top
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += 8;
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisherFrame = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context,
                         &handlerData, &establisherFrame, nullptr);
    }
    return frames;
}

class WalkingHandler {
public:
    LRESULT onMessage(HWND, UINT, WPARAM, LPARAM) {
        unwound = unwindFromHere();
        void* captured[64] = {};
        const USHORT count = RtlCaptureStackBackTrace(0, 64, captured, nullptr);
        backTrace.assign(captured, captured + count);
        return 77;
    }

    std::vector<DWORD64> unwound;
    std::vector<void*> backTrace;
};

__attribute__((noinline)) LRESULT callEntryDirectly(WNDPROC entry) {
    const LRESULT result = entry(nullptr, kProbeMessage, 0, 0);
    asm volatile("" ::: "memory");  // keep the call a call, not a tail jump
    return result;
}

__attribute__((noinline)) LRESULT sendThroughWindow(HWND window) {
    const LRESULT result = SendMessageA(window, kProbeMessage, 0, 0);
    asm volatile("" ::: "memory");
    return result;
}

std::uintptr_t asAddress(DWORD64 pc) { return static_cast<std::uintptr_t>(pc); }
std::uintptr_t asAddress(const void* pc) { return reinterpret_cast<std::uintptr_t>(pc); }

// Index of the first frame whose program counter is `pc`, or -1.
template <class Address>
int indexOf(const std::vector<Address>& frames, std::uintptr_t pc) {
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (asAddress(frames[i]) == pc) return static_cast<int>(i);
    return -1;
}

template <class Address>
void expectWalkPassesThroughThunk(const std::vector<Address>& frames, const MemberThunk& thunk,
                                  std::uintptr_t caller, const char* walker) {
    const auto thunkReturn =
        reinterpret_cast<std::uintptr_t>(thunk.codeBlock() + x64::kThisCallReturnOffset);
    const int thunkFrame = indexOf(frames, thunkReturn);
    ASSERT_GE(thunkFrame, 0) << walker << ": no frame inside the thunk";
    bool reachedCaller = false;
    for (std::size_t i = thunkFrame + 1; i < frames.size() && !reachedCaller; ++i)
        reachedCaller = functionStart(asAddress(frames[i])) == caller;
    EXPECT_TRUE(reachedCaller) << walker << ": the walk did not get past the thunk to its caller";
}

TEST(MemberThunk, UnwindDataOfTheRegisterFormIsRegistered) {
    const std::uint8_t* block = nullptr;
    {
        MemberThunk thunk;
        block = thunk.codeBlock();
        ASSERT_NE(block, nullptr);
        DWORD64 imageBase = 0;
        const auto returnAddress = reinterpret_cast<DWORD64>(block + x64::kThisCallReturnOffset);
        const PRUNTIME_FUNCTION function =
            RtlLookupFunctionEntry(returnAddress, &imageBase, nullptr);
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(imageBase, reinterpret_cast<DWORD64>(block));
        EXPECT_EQ(function->BeginAddress, x64::kThisCallEntry);
        EXPECT_EQ(function->EndAddress, x64::kThisCallEntry + x64::kThisCallLength);
        EXPECT_EQ(function->UnwindData, x64::kUnwindInfoOffset);
    }
    DWORD64 imageBase = 0;
    EXPECT_EQ(RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(block + x64::kThisCallReturnOffset),
                                     &imageBase, nullptr),
              nullptr)
        << "a destroyed thunk must take its unwind data with it";
}

TEST(MemberThunk, StackWalkFromTheMemberReachesTheCallerOfTheEntry) {
    WalkingHandler handler;
    MemberThunk thunk;
    const WNDPROC entry = thunk.bindWindowProc(&handler, &WalkingHandler::onMessage);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(callEntryDirectly(entry), 77);
    const auto caller = reinterpret_cast<std::uintptr_t>(&callEntryDirectly);
    expectWalkPassesThroughThunk(handler.unwound, thunk, caller, "RtlVirtualUnwind");
    expectWalkPassesThroughThunk(handler.backTrace, thunk, caller, "RtlCaptureStackBackTrace");
}

TEST(MemberThunk, StackWalkFromASubclassedWindowReachesTheSender) {
    const UniqueWindow window(createStatic());
    ASSERT_NE(window.get(), nullptr);
    WalkingHandler handler;
    MemberThunk thunk;
    const WNDPROC entry = thunk.bindWindowProc(&handler, &WalkingHandler::onMessage);
    ASSERT_NE(entry, nullptr);
    const LONG_PTR previous =
        SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry));
    EXPECT_EQ(sendThroughWindow(window.get()), 77);
    SetWindowLongPtrA(window.get(), GWLP_WNDPROC, previous);
    const auto sender = reinterpret_cast<std::uintptr_t>(&sendThroughWindow);
    expectWalkPassesThroughThunk(handler.unwound, thunk, sender, "RtlVirtualUnwind");
    expectWalkPassesThroughThunk(handler.backTrace, thunk, sender, "RtlCaptureStackBackTrace");
}

#endif  // __x86_64__

}  // namespace
}  // namespace quenlet
