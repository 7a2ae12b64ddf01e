#include "driver_dialogs.h"

#include <windows.h>

#include "driver_windows.h"

namespace e2e {
namespace {

// Ids of the receive (134) and send (133) settings dialogs and the commands that open them.
constexpr int kReceiveSettingsCommand = 1065;
constexpr int kSendSettingsCommand = 1062;
constexpr int kAsciiRadio = 1007;
constexpr int kHexRadio = 1008;
constexpr int kSendFileRadio = 1009;
constexpr int kReceiveFileOnlyRadio = 1049;
constexpr int kFileNameBox = 1013;
constexpr int kAlsoToFileBox = 1048;
constexpr int kSendOk = 1045;
constexpr int kReceiveOk = 1046;
constexpr int kPortSettingsCommand = 1064;
constexpr int kPortList = 1000;
constexpr int kBaudRateList = 1010;
constexpr int kDataBitsList = 1011;
constexpr int kParityList = 1012;
constexpr int kStopBitsList = 1013;
constexpr int kFlowControlList = 1014;
constexpr int kPortOk = 1047;

constexpr Milliseconds kDialogLimit{10000};

// The dialog opens modally on the program's window thread: posted, so this process is not held
// until it closes.
HWND openDialog(int command, const char* caption) {
    const HWND main = findMainWindow(true);
    if (main == nullptr || !PostMessageA(main, WM_COMMAND, MAKEWPARAM(command, 0), 0)) return nullptr;
    HWND dialog = nullptr;
    waitFor([&] { return (dialog = findDialog(caption, true)) != nullptr; }, kDialogLimit);
    return dialog;
}

// Radio buttons and check boxes notify their dialog on a click; only a click changes the mode.
bool setCheck(HWND dialog, int id, bool wanted) {
    const HWND button = GetDlgItem(dialog, id);
    const auto state = checkState(button);
    if (!state) return false;
    if ((*state == BST_CHECKED) != wanted && !click(button)) return false;
    return checkState(button) == (wanted ? BST_CHECKED : BST_UNCHECKED);
}

// Selects the entry whose text is exactly text. The entries are read as UTF-16, the form in which
// Wine carries a combo box's text between processes whatever the caller asked for.
bool selectEntry(HWND list, const std::string& text) {
    const std::wstring wanted(text.begin(), text.end());
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length < 0 || static_cast<size_t>(length) != wanted.size()) continue;
        std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(length));
        if (entry != wanted) continue;
        return SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == index;
    }
    return false;
}

std::string pressOk(HWND dialog, int okId) {
    if (!postClick(GetDlgItem(dialog, okId))) return "cannot press OK";
    if (!waitFor([&] { return !IsWindow(dialog); }, kDialogLimit)) {
        const HWND box = findMessageBox();
        return box != nullptr ? "the dialog stayed open with the message: " + messageBoxText(box)
                              : "the dialog did not close";
    }
    return {};
}

}  // namespace

std::string chooseReceiveMode(ReceiveChoice choice, const std::string& capturePath) {
    const HWND dialog = openDialog(kReceiveSettingsCommand, "Receive Settings");
    if (dialog == nullptr) return "the Receive Settings dialog did not open";
    const int radio = choice == ReceiveChoice::Ascii ? kAsciiRadio
                      : choice == ReceiveChoice::Hex ? kHexRadio
                                                     : kReceiveFileOnlyRadio;
    if (!setCheck(dialog, radio, true)) return "cannot choose the receive mode";
    if (choice != ReceiveChoice::FileOnly && !setCheck(dialog, kAlsoToFileBox, !capturePath.empty())) {
        return "cannot set \"also receive to the file\"";
    }
    if (!capturePath.empty() && !setWindowText(GetDlgItem(dialog, kFileNameBox), capturePath)) {
        return "cannot fill in the capture file name";
    }
    return pressOk(dialog, kReceiveOk);
}

std::string chooseSendMode(SendChoice choice, const std::string& filePath) {
    const HWND dialog = openDialog(kSendSettingsCommand, "Send Settings");
    if (dialog == nullptr) return "the Send Settings dialog did not open";
    const int radio = choice == SendChoice::Ascii ? kAsciiRadio
                      : choice == SendChoice::Hex ? kHexRadio
                                                  : kSendFileRadio;
    if (!setCheck(dialog, radio, true)) return "cannot choose the send mode";
    if (choice == SendChoice::File && !setWindowText(GetDlgItem(dialog, kFileNameBox), filePath)) {
        return "cannot fill in the send file name";
    }
    return pressOk(dialog, kSendOk);
}

std::string choosePortSettings(const PortChoice& choice) {
    const HWND dialog = openDialog(kPortSettingsCommand, "Port Settings");
    if (dialog == nullptr) return "the Port Settings dialog did not open (is the port closed?)";
    const struct {
        int list;
        const std::string& text;
        const char* name;
    } picks[] = {{kPortList, choice.portName, "port"},
                 {kBaudRateList, choice.baudRate, "baud rate"},
                 {kDataBitsList, choice.dataBits, "data bits"},
                 {kParityList, choice.parity, "parity"},
                 {kStopBitsList, choice.stopBits, "stop bits"},
                 {kFlowControlList, choice.flowControl, "flow control"}};
    for (const auto& pick : picks) {
        if (pick.text.empty()) continue;
        if (!selectEntry(GetDlgItem(dialog, pick.list), pick.text)) {
            return std::string("no ") + pick.name + " \"" + pick.text + "\" in the list";
        }
    }
    return pressOk(dialog, kPortOk);
}

}  // namespace e2e
