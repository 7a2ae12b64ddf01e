// Scoped owners for the device contexts and selections the receive view uses while measuring and
// painting: each gives back exactly what it took, in reverse order of taking.
#pragma once

#include <windows.h>

#include <utility>

#include "framework/ui_handles.h"

namespace quenlet {

// A window's client-area DC from GetDC, released with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A memory DC from CreateCompatibleDC, deleted with DeleteDC.
inline void deleteMemoryDc(HDC dc) { DeleteDC(dc); }
using UniqueMemoryDc = UniqueUiHandle<HDC, deleteMemoryDc>;

// A memory DC and bitmap kept from one paint to the next, so that painting a busy stream does not
// allocate and free a bitmap the size of the window each time. Grows to the largest area asked for.
class BackBuffer {
public:
    BackBuffer() = default;
    ~BackBuffer() { release(); }
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    // A DC to draw width x height pixels in, compatible with target; nullptr without memory.
    HDC prepare(HDC target, int width, int height) {
        if (dc_ && width <= width_ && height <= height_) return dc_.get();
        release();
        UniqueMemoryDc dc(CreateCompatibleDC(target));
        UniqueBitmap bitmap(dc ? CreateCompatibleBitmap(target, width, height) : nullptr);
        if (!bitmap) return nullptr;
        original_ = SelectObject(dc.get(), bitmap.get());
        dc_ = std::move(dc);
        bitmap_ = std::move(bitmap);
        width_ = width;
        height_ = height;
        return dc_.get();
    }

private:
    void release() {
        // A bitmap still selected into a DC cannot be deleted.
        if (dc_) SelectObject(dc_.get(), original_);
        dc_.reset();
        bitmap_.reset();
        original_ = nullptr;
        width_ = height_ = 0;
    }

    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    HGDIOBJ original_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// One object selected into a DC for the lifetime of this owner; the previous one is put back.
class ObjectSelection {
public:
    ObjectSelection(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~ObjectSelection() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
    }
    ObjectSelection(const ObjectSelection&) = delete;
    ObjectSelection& operator=(const ObjectSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint ... EndPaint.
class PaintSession {
public:
    explicit PaintSession(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintSession() { EndPaint(window_, &paint_); }
    PaintSession(const PaintSession&) = delete;
    PaintSession& operator=(const PaintSession&) = delete;

    HDC dc() const { return dc_; }
    const RECT& area() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace quenlet
