// MainDialog's command table and its thin handlers: every menu item, toolbar button, the Send
// button, Loops, the loop timer and the toolbar's tooltip texts.
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "ui/about_dialog.h"
#include "ui/main_dialog.h"
#include "ui/port_settings_dialog.h"
#include "ui/receive_settings_dialog.h"
#include "ui/send_settings_dialog.h"

namespace quenlet {

const MessageTable<MainDialog> MainDialog::messageTable_ = {
    onMessage(WM_PAINT, &MainDialog::OnPaint),
    onMessage(WM_QUERYDRAGICON, &MainDialog::OnQueryDragIcon),
    onSysCommand(&MainDialog::OnSysCommand),
    onTimer(&MainDialog::OnTimer),
    onMessage(WM_DEVICECHANGE, &MainDialog::OnDeviceChange),
    onNotify(TTN_GETDISPINFOA, &MainDialog::OnToolTipText),
    onCommand(ID_PORT_OPEN, &MainDialog::OnPortOpen),
    onCommand(ID_TOOLBAR_PORT_OPEN, &MainDialog::OnPortOpen),
    onCommand(ID_PORT_CLOSE, &MainDialog::OnPortClose),
    onCommand(ID_TOOLBAR_PORT_CLOSE, &MainDialog::OnPortClose),
    onCommand(ID_PORT_SETTINGS, &MainDialog::OnPortSettings),
    onCommand(ID_TOOLBAR_PORT_SETTINGS, &MainDialog::OnPortSettings),
    onCommand(ID_PORT_STATUS, &MainDialog::OnPortStatus),
    onCommand(ID_EXIT, &MainDialog::OnExit),
    onCommand(ID_SEND_SETTINGS, &MainDialog::OnSendSettings),
    onCommand(ID_TOOLBAR_SEND_SETTINGS, &MainDialog::OnSendSettings),
    onCommand(ID_RECEIVE_SETTINGS, &MainDialog::OnReceiveSettings),
    onCommand(ID_TOOLBAR_RECEIVE_SETTINGS, &MainDialog::OnReceiveSettings),
    onCommand(ID_ALWAYS_ON_TOP, &MainDialog::OnAlwaysOnTop),
    onCommand(ID_HELP_ABOUT, &MainDialog::OnAbout),
    onCommand(ID_TOOLBAR_ABOUT, &MainDialog::OnAbout),
    onCommand(ID_CLEAR_RECEIVE, &MainDialog::OnClearReceive),
    onCommand(ID_SEND_MODE_ASCII, &MainDialog::OnSendAscii),
    onCommand(ID_SEND_MODE_HEX, &MainDialog::OnSendHex),
    onCommand(ID_RECEIVE_MODE_ASCII, &MainDialog::OnReceiveAscii),
    onCommand(ID_RECEIVE_MODE_HEX, &MainDialog::OnReceiveHex),
    onCommand(IDC_SEND, &MainDialog::OnSend),
    onCommand(IDC_LOOPS, &MainDialog::OnLoops),
};

void MainDialog::OnPortOpen() { controller->openPort(); }

void MainDialog::OnPortClose() { controller->closePort(); }

void MainDialog::OnPortSettings() {
    PortSettingsDialog dialog;
    dialog.DoModal();
}

void MainDialog::OnPortStatus() { controller->status().ShowNearOwner(); }

void MainDialog::OnSendSettings() {
    SendSettingsDialog dialog;
    dialog.DoModal();
}

void MainDialog::OnReceiveSettings() {
    ReceiveSettingsDialog dialog;
    dialog.DoModal();
}

void MainDialog::OnAlwaysOnTop() {
    controller->toggleAlwaysOnTop();
    const HWND band = controller->isAlwaysOnTop() ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(hwnd(), band, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    controller->refreshMenu();
}

void MainDialog::OnAbout() {
    AboutDialog dialog;
    dialog.DoModal();
}

void MainDialog::OnClearReceive() { setItemText(IDC_RECEIVE_BOX, ""); }

void MainDialog::OnSendAscii() {
    g_settings.sendMode = SendMode::Ascii;
    RefreshDisplay();
}

void MainDialog::OnSendHex() {
    g_settings.sendMode = SendMode::Hex;
    RefreshDisplay();
}

void MainDialog::OnReceiveAscii() {
    g_settings.receiveMode = ReceiveMode::Ascii;
    RefreshDisplay();
}

void MainDialog::OnReceiveHex() {
    g_settings.receiveMode = ReceiveMode::Hex;
    RefreshDisplay();
}

void MainDialog::OnSend() {
    if (IsWindowEnabled(item(IDC_SEND))) controller->onSendButton();
}

void MainDialog::OnLoops() {
    controller->refreshLoopControls();
    if (isChecked(IDC_LOOPS)) SetFocus(item(IDC_LOOP_INTERVAL));
}

void MainDialog::OnTimer(UINT) {
    controller->onTimer();
    passToDefault();
}

// A serial port arrived: a port that waits for its lost device tries it at once.
LRESULT MainDialog::OnDeviceChange(WPARAM event, LPARAM data) {
    const auto* const header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (event == DBT_DEVICEARRIVAL && header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT) {
        controller->onDeviceArrival();
    }
    return TRUE;
}

BOOL MainDialog::OnToolTipText(NMHDR* header, LRESULT*) {
    auto* const info = reinterpret_cast<NMTTDISPINFOA*>(header);
    const PortController& c = *controller;
    const char* text = nullptr;
    switch (header->idFrom) {
    case ID_TOOLBAR_PORT_OPEN:
        text = c.isOpenButtonEnabled() ? "Open" : "";
        break;
    case ID_TOOLBAR_PORT_CLOSE:
        text = c.isCloseButtonEnabled() ? "Close" : "";
        break;
    case ID_TOOLBAR_PORT_SETTINGS:
        text = c.isPortSettingsButtonEnabled() ? "Port Settings" : "";
        break;
    case ID_TOOLBAR_SEND_SETTINGS:
        text = "Send Settings";
        break;
    case ID_SEND_MODE_ASCII:
        text = c.isSendAsciiButtonEnabled() ? "Switch to ASCII for send" : "";
        break;
    case ID_SEND_MODE_HEX:
        text = c.isSendHexButtonEnabled() ? "Switch to hex for send" : "";
        break;
    case ID_TOOLBAR_RECEIVE_SETTINGS:
        text = "Receive Settings";
        break;
    case ID_RECEIVE_MODE_ASCII:
        text = c.isReceiveAsciiButtonEnabled() ? "Switch to ASCII for receive" : "";
        break;
    case ID_RECEIVE_MODE_HEX:
        text = c.isReceiveHexButtonEnabled() ? "Switch to hex for receive" : "";
        break;
    case ID_TOOLBAR_ABOUT:
        text = "About";
        break;
    default:
        break;
    }
    if (text != nullptr) {
        info->hinst = nullptr;
        info->lpszText = const_cast<char*>(text);
    }
    return TRUE;
}

}  // namespace quenlet
