// Typed views of a dialog's controls, bound by control id in the dialog's DoDataExchange. They
// only send messages to the control; the control window belongs to the dialog.
#pragma once

#include <windows.h>

#include <string>

namespace quenlet {

class Dialog;

class Control {
public:
    // Binds to the control with id in dialog's window. False when the dialog has no such control.
    bool attach(const Dialog& dialog, int id);
    bool attach(HWND dialogWindow, int id);

    HWND hwnd() const { return hwnd_; }
    void enable(bool enabled) const;
    std::string text() const;
    // GetWindowTextA into a caller's buffer of size bytes; returns the number of characters copied.
    int getWindowText(char* buffer, int size) const;
    void setText(const char* text) const;

protected:
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

private:
    HWND hwnd_ = nullptr;
};

// A combo box; indexes are positions in its list from 0, CB_ERR (-1) for none or failure.
class ComboBox : public Control {
public:
    int addString(const char* text) const;
    int setCurSel(int index) const;
    int getCurSel() const;
    std::string getLBText(int index) const;
    int findStringExact(int startAfter, const char* text) const;
    void resetContent() const;
    int count() const;
};

class Button : public Control {
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    void setCheck(UINT state) const;
    UINT getCheck() const;
};

class Edit : public Control {
public:
    void limitText(UINT maximumCharacters) const;
    void setReadOnly(bool readOnly) const;
    int textLength() const;
};

}  // namespace quenlet
