#include "framework/data_exchange.h"

#include "framework/dialog.h"
#include "framework/text_format.h"

namespace quenlet {

bool Control::attach(const Dialog& dialog, int id) { return attach(dialog.hwnd(), id); }

bool Control::attach(HWND dialogWindow, int id) {
    hwnd_ = dialogWindow != nullptr ? GetDlgItem(dialogWindow, id) : nullptr;
    return hwnd_ != nullptr;
}

void Control::enable(bool enabled) const { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }

std::string Control::text() const { return windowText(hwnd_); }

int Control::getWindowText(char* buffer, int size) const {
    if (size > 0) buffer[0] = '\0';
    return GetWindowTextA(hwnd_, buffer, size);
}

void Control::setText(const char* text) const { SetWindowTextA(hwnd_, text); }

LRESULT Control::send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(hwnd_, message, wParam, lParam);
}

int ComboBox::addString(const char* text) const {
    return static_cast<int>(send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int ComboBox::setCurSel(int index) const {
    return static_cast<int>(send(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int ComboBox::getCurSel() const { return static_cast<int>(send(CB_GETCURSEL)); }

std::string ComboBox::getLBText(int index) const {
    const int length = static_cast<int>(send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length), '\0');
    // CB_GETLBTEXT writes the terminating NUL one past the text.
    const int copied = static_cast<int>(
        send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

int ComboBox::findStringExact(int startAfter, const char* text) const {
    return static_cast<int>(
        send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
}

void ComboBox::resetContent() const { send(CB_RESETCONTENT); }

int ComboBox::count() const { return static_cast<int>(send(CB_GETCOUNT)); }

void Button::setCheck(UINT state) const { send(BM_SETCHECK, state); }

UINT Button::getCheck() const { return static_cast<UINT>(send(BM_GETCHECK)); }

void Edit::limitText(UINT maximumCharacters) const { send(EM_LIMITTEXT, maximumCharacters); }

void Edit::setReadOnly(bool readOnly) const { send(EM_SETREADONLY, readOnly ? TRUE : FALSE); }

int Edit::textLength() const { return GetWindowTextLengthA(hwnd()); }

}  // namespace quenlet
