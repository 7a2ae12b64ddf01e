#include "ui/receive_view_clipboard.h"

#include <cstring>
#include <utility>

namespace quenlet {
namespace {

// Global memory freed unless the clipboard took it over.
class GlobalMemory {
public:
    explicit GlobalMemory(SIZE_T size) : memory_(GlobalAlloc(GMEM_MOVEABLE, size)) {}
    ~GlobalMemory() {
        if (memory_ != nullptr) GlobalFree(memory_);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;

    HGLOBAL get() const { return memory_; }
    HGLOBAL release() { return std::exchange(memory_, nullptr); }

private:
    HGLOBAL memory_;
};

class ClipboardSession {
public:
    explicit ClipboardSession(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;

    bool isOpen() const { return open_; }

private:
    bool open_;
};

}  // namespace

bool copyTextToClipboard(HWND owner, std::string_view text) {
    GlobalMemory memory(text.size() + 1);
    if (memory.get() == nullptr) return false;
    void* const bytes = GlobalLock(memory.get());
    if (bytes == nullptr) return false;
    std::memcpy(bytes, text.data(), text.size());
    static_cast<char*>(bytes)[text.size()] = '\0';
    GlobalUnlock(memory.get());

    const ClipboardSession clipboard(owner);
    if (!clipboard.isOpen() || !EmptyClipboard()) return false;
    if (SetClipboardData(CF_TEXT, memory.get()) == nullptr) return false;
    memory.release();  // the clipboard owns it now
    return true;
}

}  // namespace quenlet
