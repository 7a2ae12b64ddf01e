#include "ui/status_dialog.h"

#include "res/resource.h"
#include "settings/port_settings.h"

namespace quenlet {

// The window handles nothing of its own.
const MessageTable<StatusDialog> StatusDialog::messageTable_ = {};

StatusDialog::StatusDialog() : Dialog(IDD_STATUS) {}

StatusDialog::~StatusDialog() = default;

BOOL StatusDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    return TRUE;
}

BOOL StatusDialog::PreTranslateMessage(MSG* message) {
    switch (message->message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return TRUE;
    case WM_KEYDOWN:
    case WM_KEYUP:
        // Enter does nothing; the space bar would toggle a focused box.
        if (message->wParam == VK_RETURN && message->message == WM_KEYDOWN) return TRUE;
        if (message->wParam == VK_SPACE) return TRUE;
        break;
    default:
        break;
    }
    return Dialog::PreTranslateMessage(message);
}

void StatusDialog::setBox(int id, int state) {
    SendDlgItemMessageA(hwnd(), id, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

void StatusDialog::SetCts(int state) { setBox(IDC_CTS, state); }
void StatusDialog::SetDsr(int state) { setBox(IDC_DSR, state); }
void StatusDialog::SetRing(int state) { setBox(IDC_RING, state); }
void StatusDialog::SetRlsd(int state) { setBox(IDC_RLSD, state); }
void StatusDialog::SetCtsHold(int state) { setBox(IDC_CTS_HOLD, state); }
void StatusDialog::SetDsrHold(int state) { setBox(IDC_DSR_HOLD, state); }
void StatusDialog::SetRlsdHold(int state) { setBox(IDC_RLSD_HOLD, state); }
void StatusDialog::SetXoffHold(int state) { setBox(IDC_XOFF_HOLD, state); }
void StatusDialog::SetXoffSent(int state) { setBox(IDC_XOFF_SENT, state); }
void StatusDialog::SetEofReceived(int state) { setBox(IDC_EOF_RECEIVED, state); }

void StatusDialog::SetTitle(const char* title) { SetWindowTextA(hwnd(), title); }

void StatusDialog::ShowNearOwner() {
    const HWND owner = GetWindow(hwnd(), GW_OWNER);
    RECT ownerRect{};
    RECT ownRect{};
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(hwnd(), &ownRect);
    MoveWindow(hwnd(), ownerRect.left + 10, ownerRect.top + 10, ownRect.right - ownRect.left,
               ownRect.bottom - ownRect.top, TRUE);
    SetTitle(g_settings.portName.c_str());
    ShowWindow(SW_SHOW);
}

}  // namespace quenlet
