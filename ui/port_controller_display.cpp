// PortController: recomputing what the main window shows from the port state, the settings and
// the controller's flags; the toolbar's placement; the receive box's context menu.
#include "core/port_controller.h"

#include <commctrl.h>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/screen_dpi.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "ui/display_texts.h"
#include "ui/toolbar_strips.h"

namespace quenlet {

namespace {

// One of each per process, as the banners belong to the one main window.
bool fileBannerShown = false;
bool captureBannerShown = false;
bool intervalPlaceholderPending = true;

void setMenuText(HMENU menu, UINT id, const std::string& text) {
    ModifyMenuA(menu, id, MF_BYCOMMAND | MF_STRING, id, text.c_str());
}

void enableMenuItem(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

HINSTANCE resourceModule() {
    const Application* application = Application::current();
    return application != nullptr ? application->instance() : GetModuleHandleA(nullptr);
}

}  // namespace

void PortController::refreshDisplay() {
    refreshMenu();
    refreshToolBar();
    refreshEditBoxes();
    refreshStatusLine();
    refreshLoopControls();
    refreshSendButton();
}

void PortController::refreshMenu() {
    const HMENU menu = GetMenu(mainDialog->hwnd());
    if (menu == nullptr) return;
    // A port that waits for its device offers Close, as an open one does.
    const bool open = isPortInUse();
    setMenuText(menu, ID_PORT_OPEN, openMenuText(g_settings.portName));
    setMenuText(menu, ID_PORT_CLOSE, closeMenuText(g_settings.portName));
    enableMenuItem(menu, ID_PORT_OPEN, !open);
    enableMenuItem(menu, ID_PORT_CLOSE, open);
    enableMenuItem(menu, ID_PORT_SETTINGS, !open);
    enableMenuItem(menu, ID_PORT_STATUS, open);
    setMenuText(menu, ID_SEND_SETTINGS, sendMenuText(g_settings.sendMode));
    setMenuText(menu, ID_RECEIVE_SETTINGS,
                receiveMenuText(g_settings.receiveMode, g_settings.alsoReceiveToFile != 0));
    CheckMenuItem(menu, ID_ALWAYS_ON_TOP, MF_BYCOMMAND | (alwaysOnTop ? MF_CHECKED : MF_UNCHECKED));
}

void PortController::refreshToolBar() {
    const bool open = isPortInUse();
    const auto set = [this](UINT id, bool enabled) {
        toolBar.setButtonState(id, enabled ? TBSTATE_ENABLED : 0);
    };
    set(ID_TOOLBAR_PORT_OPEN, !open);
    set(ID_TOOLBAR_PORT_CLOSE, open);
    set(ID_TOOLBAR_PORT_SETTINGS, !open);
    set(ID_SEND_MODE_ASCII, g_settings.sendMode == SendMode::Hex);
    set(ID_SEND_MODE_HEX, g_settings.sendMode == SendMode::Ascii);
    set(ID_RECEIVE_MODE_ASCII, g_settings.receiveMode == ReceiveMode::Hex);
    set(ID_RECEIVE_MODE_HEX, g_settings.receiveMode == ReceiveMode::Ascii);
}

void PortController::refreshEditBoxes() {
    const HWND sendBox = item(IDC_SEND_BOX);
    if (g_settings.sendMode == SendMode::File) {
        SetWindowTextA(sendBox, (kSendFileBanner + g_settings.sendFileName).c_str());
        SendMessageA(sendBox, EM_SETREADONLY, TRUE, 0);
        fileBannerShown = true;
    } else {
        if (fileBannerShown) {
            fileBannerShown = false;
            SetWindowTextA(sendBox, "");
        }
        SendMessageA(sendBox, EM_SETREADONLY, sends.loopSending() ? TRUE : FALSE, 0);
    }

    const HWND receiveBox = item(IDC_RECEIVE_BOX);
    if (g_settings.receiveMode == ReceiveMode::FileOnly) {
        SetWindowTextA(receiveBox, (kCaptureFileBanner + g_settings.receiveFileName).c_str());
        captureBannerShown = true;
        reopenCapture();
    } else {
        if (g_settings.alsoReceiveToFile) reopenCapture();
        if (captureBannerShown) {
            captureBannerShown = false;
            SetWindowTextA(receiveBox, "");
        }
    }
}

std::string PortController::statusLine() const {
    if (losses.waiting()) {
        return waitingStatusLineText(openedLine.portName, formatSystemError(losses.reason()), losses.heldByOther(),
                                     bytesSent, bytesReceived);
    }
    return statusLineText(port.isOpen(), g_settings.portName, bytesSent, bytesReceived);
}

void PortController::refreshStatusLine() { SetWindowTextA(item(IDC_STATUS_LINE), statusLine().c_str()); }

void PortController::refreshCounters() { statusLineCounters.set(item(IDC_STATUS_LINE), statusLine().c_str()); }

void PortController::refreshLoopControls() {
    const HWND interval = item(IDC_LOOP_INTERVAL);
    const HWND loops = item(IDC_LOOPS);
    if (intervalPlaceholderPending) {
        SetWindowTextA(interval, kIntervalPlaceholder);
        intervalPlaceholderPending = false;
    }
    if (!canSend() || g_settings.sendMode == SendMode::File || isSending()) {
        EnableWindow(interval, FALSE);
        EnableWindow(loops, FALSE);
        return;
    }
    EnableWindow(loops, TRUE);
    if (isLoopChecked()) {
        char text[16] = {};
        GetWindowTextA(interval, text, sizeof text);
        if (std::string(text) == kIntervalPlaceholder) SetWindowTextA(interval, "");
        EnableWindow(interval, TRUE);
    } else {
        EnableWindow(interval, FALSE);
    }
}

void PortController::refreshSendButton() {
    const HWND button = item(IDC_SEND);
    const bool open = canSend();
    SetWindowTextA(button, open && isSending() ? "Stop" : "Send");
    EnableWindow(button, open ? TRUE : FALSE);
}

bool PortController::isOpenButtonEnabled() const { return toolBar.isButtonEnabled(ID_TOOLBAR_PORT_OPEN); }
bool PortController::isCloseButtonEnabled() const { return toolBar.isButtonEnabled(ID_TOOLBAR_PORT_CLOSE); }
bool PortController::isPortSettingsButtonEnabled() const {
    return toolBar.isButtonEnabled(ID_TOOLBAR_PORT_SETTINGS);
}
bool PortController::isSendAsciiButtonEnabled() const { return toolBar.isButtonEnabled(ID_SEND_MODE_ASCII); }
bool PortController::isSendHexButtonEnabled() const { return toolBar.isButtonEnabled(ID_SEND_MODE_HEX); }
bool PortController::isReceiveAsciiButtonEnabled() const {
    return toolBar.isButtonEnabled(ID_RECEIVE_MODE_ASCII);
}
bool PortController::isReceiveHexButtonEnabled() const { return toolBar.isButtonEnabled(ID_RECEIVE_MODE_HEX); }

void PortController::createToolBar() {
    const HWND dialog = mainDialog->hwnd();
    const DWORD borders = kBarGripper | kBarBorderBottom;
    // The images drawn for the screen's scale, which is fixed from start-up.
    if (!toolBar.create(dialog, IDW_TOOLBAR, borders) ||
        !toolBar.loadToolBar(IDR_TOOLBAR, mainToolBarStrip(systemDpi())))
        return;

    // The dialog has no frame to dock a bar in: its controls move down by the bar's height and
    // the window grows by the same amount.
    const int barHeight = toolBar.height();
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (child == toolBar.hwnd()) continue;
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
        SetWindowPos(child, nullptr, rect.left, rect.top + barHeight, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    RECT window{};
    GetWindowRect(dialog, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top + barHeight;
    SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    toolBar.autoSize();

    // Centred on the work area of the screen, as the main window has no owner.
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
}

void PortController::showContextMenu(HWND owner, UINT menuId, UINT trackFlags, int x, int y) {
    if (x == -1 && y == -1) {
        POINT cursor{};
        GetCursorPos(&cursor);
        x = cursor.x;
        y = cursor.y;
    }
    const HMENU menu = LoadMenuA(resourceModule(), MAKEINTRESOURCEA(menuId));
    if (menu == nullptr) return;
    if (const HMENU popup = GetSubMenu(menu, 0)) {
        SetForegroundWindow(owner);
        TrackPopupMenu(popup, trackFlags, x, y, 0, owner, nullptr);
    }
    DestroyMenu(menu);
}

}  // namespace quenlet
