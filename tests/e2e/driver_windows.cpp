#include "driver_windows.h"

#include <algorithm>
#include <vector>

namespace e2e {
namespace {

constexpr int kSendBoxId = 1001;
constexpr int kEofReceivedBoxId = 1038;
constexpr char kMainCaption[] = "Quenlet";

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool isDialog(HWND window) { return className(window) == "#32770"; }

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// Caption of a window of another process: GetWindowText would not ask the other process.
std::string caption(HWND window) { return windowText(window).value_or(std::string()); }

bool isMainWindow(HWND window) {
    return isDialog(window) && GetDlgItem(window, kSendBoxId) != nullptr && caption(window) == kMainCaption;
}

bool isStatusWindow(HWND window) { return isDialog(window) && GetDlgItem(window, kEofReceivedBoxId) != nullptr; }

DWORD programProcess() {
    const HWND main = findMainWindow(false);
    return main != nullptr ? processOf(main) : 0;
}

}  // namespace

HWND findMainWindow(bool visibleOnly) {
    for (const HWND window : topLevelWindows()) {
        if (visibleOnly && !IsWindowVisible(window)) continue;
        if (isMainWindow(window)) return window;
    }
    return nullptr;
}

HWND findDialog(const std::string& wanted, bool visibleOnly) {
    const DWORD process = programProcess();
    if (process == 0) return nullptr;
    for (const HWND window : topLevelWindows()) {
        if (visibleOnly && !IsWindowVisible(window)) continue;
        if (processOf(window) == process && isDialog(window) && caption(window) == wanted) return window;
    }
    return nullptr;
}

HWND findStatusWindow() {
    const DWORD process = programProcess();
    if (process == 0) return nullptr;
    for (const HWND window : topLevelWindows()) {
        if (processOf(window) == process && isStatusWindow(window)) return window;
    }
    return nullptr;
}

HWND findMessageBox() {
    const DWORD process = programProcess();
    if (process == 0) return nullptr;
    for (const HWND window : topLevelWindows()) {
        if (processOf(window) != process || !IsWindowVisible(window) || !isDialog(window)) continue;
        if (isMainWindow(window) || isStatusWindow(window)) continue;
        if (GetDlgItem(window, IDOK) != nullptr) return window;
    }
    return nullptr;
}

std::string messageBoxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (className(child) != "Static") continue;
        if (std::string text = caption(child); !text.empty()) return text;
    }
    return {};
}

std::optional<std::string> windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &length)) {
        return std::nullopt;
    }
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kMessageLimitMs, &copied)) {
        return std::nullopt;
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

bool setWindowText(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                               kMessageLimitMs, &result) != 0 &&
           result != 0;
}

bool setLongEditText(HWND edit, const std::string& text) {
    constexpr size_t kPart = 256 * 1024;
    if (text.size() <= kPart) return setWindowText(edit, text);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(edit, EM_LIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &result)) return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(start + kPart, text.size());
        if (end < text.size()) {
            const size_t lineEnd = text.rfind('\n', end - 1);
            if (lineEnd != std::string::npos && lineEnd >= start) end = lineEnd + 1;
        }
        const std::string part = text.substr(start, end - start);
        if (start == 0) {
            if (!setWindowText(edit, part)) return false;
        } else {
            DWORD_PTR length = 0;
            if (!SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &length) ||
                !SendMessageTimeoutA(edit, EM_SETSEL, length, length, SMTO_ABORTIFHUNG, kMessageLimitMs, &result) ||
                !SendMessageTimeoutA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(part.c_str()),
                                     SMTO_ABORTIFHUNG, kMessageLimitMs, &result)) {
                return false;
            }
        }
        start = end;
    }
    DWORD_PTR length = 0;
    return SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &length) != 0 &&
           length == text.size();
}

std::optional<int> checkState(HWND button) {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &state)) {
        return std::nullopt;
    }
    return static_cast<int>(state);
}

bool postClick(HWND button) { return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) != 0; }

bool click(HWND button) {
    DWORD_PTR result = 0;
    return button != nullptr &&
           SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs, &result) != 0;
}

}  // namespace e2e
