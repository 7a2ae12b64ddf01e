// A comctl32 toolbar along the top edge of a dialog: flat buttons, one image each, with tooltips,
// and optionally a gripper at its left and an etched line along its bottom (framework/
// toolbar_borders.h), which it draws in its non-client area. Tooltip texts are asked of the parent
// dialog: TTN_GETDISPINFOA (= TTN_NEEDTEXTA) arrives there as WM_NOTIFY with the button's command
// id in idFrom.
#pragma once

#include <windows.h>

#include <span>

#include "framework/toolbar_borders.h"
#include "framework/toolbar_resource.h"
#include "framework/ui_handles.h"

namespace quenlet {

class ToolBar {
public:
    // The control id of the program's one toolbar (the first id of the control-bar range).
    static constexpr UINT kDefaultControlId = 0xE800;

    ToolBar() = default;
    ~ToolBar() = default;
    ToolBar(const ToolBar&) = delete;
    ToolBar& operator=(const ToolBar&) = delete;

    // Creates the empty toolbar window as a child of parent, with the borders given (ToolBarBorder
    // bits). False when it exists or creation fails.
    bool create(HWND parent, UINT controlId = kDefaultControlId, DWORD borders = kNoBarBorders);

    // Adds the buttons of the TOOLBAR resource id, with images from the bitmap of the same id (its
    // standard grey shades mapped to the current system colours), both from the application's module.
    bool loadToolBar(UINT resourceId);
    // The same with the images of strip, and buttons sized for them at the strip's DPI.
    bool loadToolBar(UINT resourceId, const ToolBarStrip& strip);

    // The size of a button around an image of imageSize on a screen of dpi: the image and the
    // control's default margins (7 pixels across, 6 down at 100 %), scaled.
    static SIZE buttonSizeFor(SIZE imageSize, int dpi);

    // Adds one button per command id (0 = separator). Button n takes the n-th imageSize cell of the
    // strip, counting buttons only. The toolbar keeps the strip until it is destroyed.
    bool setButtons(UniqueBitmap strip, SIZE imageSize, std::span<const UINT> commandIds);
    // The same with the strip loaded from the application's bitmap resource bitmapId (grey shades
    // mapped to the system colours).
    bool setButtons(UINT bitmapId, SIZE imageSize, std::span<const UINT> commandIds);

    // Lays the toolbar along the top of its parent again, e.g. after the parent was resized: the
    // parent's client width, and the height of its buttons and borders.
    void autoSize() const;

    HWND hwnd() const { return window_.get(); }
    // The tooltip window the toolbar created for itself.
    HWND toolTips() const;
    int buttonCount() const;

    // TBSTATE_* bits of the button with commandId; -1 when there is no such button or no window.
    int buttonState(UINT commandId) const;
    bool setButtonState(UINT commandId, UINT state) const;
    bool enableButton(UINT commandId, bool enable) const;
    bool isButtonEnabled(UINT commandId) const;

    // The window's current size and height in pixels.
    SIZE size() const;
    int height() const;

private:
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // The height the buttons need, with the control's own margin below them as above them.
    int buttonRowsHeight() const;
    // The toolbar window's procedure in front of the control's: it adds the borders.
    static LRESULT CALLBACK barProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DWORD borders_ = kNoBarBorders;
    // Declared before the window, so both outlive it.
    WNDPROC controlProcedure_ = nullptr;
    UniqueBitmap strip_;
    UniqueWindow window_;
};

}  // namespace quenlet
