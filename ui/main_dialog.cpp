// MainDialog: set-up, input pre-filter, painting while minimised, close handling and the exit
// sequence. The command handlers are in ui/main_dialog_commands.cpp.
#include "ui/main_dialog.h"

#include "framework/application.h"
#include "res/resource.h"
#include "ui/receive_view.h"

namespace quenlet {

namespace {

constexpr LPARAM kReceiveLimit = 0x1400000;  // 20,971,520 characters
constexpr LRESULT kIntervalDigits = 6;

bool isCtrlHeld() {
    return (GetKeyState(VK_LCONTROL) & 0x8000) != 0 || (GetKeyState(VK_RCONTROL) & 0x8000) != 0;
}

bool isDigitKey(WPARAM key) {
    return (key >= '0' && key <= '9') || (key >= VK_NUMPAD0 && key <= VK_NUMPAD9);
}

}  // namespace

MainDialog::MainDialog()
    : Dialog(IDD_MAIN),
      icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN))) {}

MainDialog::~MainDialog() {
    // The controller goes first, while the rest of the dialog still exists: its destruction
    // closes the port and joins the workers.
    controller.reset();
}

BOOL MainDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageA(item(IDC_RECEIVE_BOX), EM_LIMITTEXT, kReceiveLimit, 0);
    SendMessageA(item(IDC_RECEIVE_BOX), kReceiveViewKeepNewest, TRUE, 0);  // the newest data always shows
    // The edit control's own limit (about 32 K) would cut a pasted test payload short.
    SendMessageA(item(IDC_SEND_BOX), EM_LIMITTEXT, 0, 0);

    controller = std::make_unique<PortController>(this);
    controller->createToolBar();
    controller->refreshDisplay();
    // Toolbar tooltips: the toolbar was created with its own tooltip window, which asks this
    // dialog for the texts (OnToolTipText).
    return TRUE;
}

void MainDialog::RefreshDisplay() {
    if (controller) controller->refreshDisplay();
}

BOOL MainDialog::PreTranslateMessage(MSG* message) {
    const HWND target = message->hwnd;
    const bool toSendBox = target == item(IDC_SEND_BOX);

    if (message->message == WM_KEYDOWN) {
        if (filterKeyDown(*message)) return TRUE;
        if (message->wParam == VK_RETURN && toSendBox) return Dialog::PreTranslateMessage(message);
        if (message->wParam == VK_ESCAPE || message->wParam == VK_RETURN) return TRUE;
        if (target == item(IDC_LOOP_INTERVAL) && isDigitKey(message->wParam) &&
            SendMessageA(target, WM_GETTEXTLENGTH, 0, 0) >= kIntervalDigits) {
            return TRUE;
        }
    }

    if ((message->message == WM_RBUTTONDOWN || message->message == WM_RBUTTONDBLCLK) &&
        target == item(IDC_RECEIVE_BOX)) {
        if (SendMessageA(target, WM_GETTEXTLENGTH, 0, 0) > 0 && controller) {
            controller->showContextMenu(hwnd(), IDR_RECEIVE_MENU, 0, -1, -1);
        }
        return TRUE;
    }
    return Dialog::PreTranslateMessage(message);
}

// The Ctrl shortcuts; true when the key was one of them.
bool MainDialog::filterKeyDown(const MSG& message) {
    if (!isCtrlHeld()) return false;
    switch (message.wParam) {
    case VK_RETURN:
        OnSend();
        return true;
    case 'A':
        OnSendAscii();
        return true;
    case 'H':
        OnSendHex();
        return true;
    default:
        return false;
    }
}

void MainDialog::OnSysCommand(UINT code) {
    if (code == SC_CLOSE) {
        OnExit();
        return;
    }
    passToDefault();
}

void MainDialog::OnExit() {
    ShowWindow(SW_HIDE);
    if (controller) {
        controller->status().ShowWindow(SW_HIDE);
        controller->clearLoopSending();
        controller->shutdown();
        controller->closePort();
    }
    PostQuitMessage(0);
}

bool MainDialog::endWorkers() { return !controller || controller->endWorkers(); }

void MainDialog::OnPaint() {
    if (!IsIconic(hwnd())) {
        passToDefault();
        return;
    }
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(hwnd(), &paint);
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(hwnd(), &paint);
}

LRESULT MainDialog::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(icon); }

}  // namespace quenlet
