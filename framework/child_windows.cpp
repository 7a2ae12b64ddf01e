#include "framework/child_windows.h"

namespace quenlet {
namespace {

// A handle is only reused for a window that is alive and still answers to the same place.
bool stillChild(HWND window, HWND parent, int id) {
    return IsWindow(window) && GetParent(window) == parent && GetDlgCtrlID(window) == id;
}

}  // namespace

HWND ChildWindows::find(HWND parent, int id) {
    if (parent == nullptr) return nullptr;
    const CriticalSectionLock lock(lock_);
    for (Known& known : known_) {
        if (known.parent != parent || known.id != id) continue;
        if (!stillChild(known.window, parent, id)) known.window = GetDlgItem(parent, id);
        return known.window;
    }
    const HWND window = GetDlgItem(parent, id);
    if (window != nullptr) known_.push_back({parent, id, window});
    return window;
}

void ChildWindows::forget() {
    const CriticalSectionLock lock(lock_);
    known_.clear();
}

}  // namespace quenlet
