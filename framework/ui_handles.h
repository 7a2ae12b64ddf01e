// RAII owners for the USER and GDI objects the windows create: menus loaded for a popup, child
// windows, fonts, brushes and bitmaps. Each owner releases exactly once and cannot be copied.
#pragma once

#include <windows.h>

#include <utility>

namespace quenlet {

// Owns one handle of type Handle and releases it with Release(handle).
template <class Handle, auto Release>
class UniqueUiHandle {
public:
    UniqueUiHandle() = default;
    explicit UniqueUiHandle(Handle handle) : handle_(handle) {}
    ~UniqueUiHandle() { reset(); }

    UniqueUiHandle(const UniqueUiHandle&) = delete;
    UniqueUiHandle& operator=(const UniqueUiHandle&) = delete;
    UniqueUiHandle(UniqueUiHandle&& other) noexcept : handle_(other.release()) {}
    UniqueUiHandle& operator=(UniqueUiHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    Handle release() { return std::exchange(handle_, nullptr); }
    void reset(Handle handle = nullptr) {
        const Handle old = std::exchange(handle_, handle);
        if (old != nullptr) Release(old);
    }

private:
    Handle handle_ = nullptr;
};

inline void destroyMenu(HMENU menu) { DestroyMenu(menu); }
// A child window may already be gone with its parent.
inline void destroyWindow(HWND window) {
    if (IsWindow(window)) DestroyWindow(window);
}
inline void deleteGdiObject(HGDIOBJ object) { DeleteObject(object); }

using UniqueMenu = UniqueUiHandle<HMENU, destroyMenu>;
using UniqueWindow = UniqueUiHandle<HWND, destroyWindow>;
using UniqueFont = UniqueUiHandle<HFONT, deleteGdiObject>;
using UniqueBitmap = UniqueUiHandle<HBITMAP, deleteGdiObject>;
using UniqueBrush = UniqueUiHandle<HBRUSH, deleteGdiObject>;

}  // namespace quenlet
