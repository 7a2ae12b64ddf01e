// Steps that window tests take in the system's file dialogs their dialogs open.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <cstring>
#include <string>

namespace quenlet::test {

// The visible file dialog owned by owner on this thread, if one is up. (A named stdcall callback:
// a lambda would not have the convention the i686 target needs.)
struct FileDialogSearch {
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK findFileDialog(HWND window, LPARAM parameter) {
    auto* const search = reinterpret_cast<FileDialogSearch*>(parameter);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) &&
        std::strcmp(className, "#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND fileDialogOwnedBy(HWND owner) {
    FileDialogSearch search{owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), findFileDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Types name into a file dialog's name box and presses its Open or Save button.
inline void chooseInFileDialog(HWND fileDialog, const std::string& name) {
    HWND nameBox = GetDlgItem(fileDialog, cmb13);
    if (nameBox == nullptr) nameBox = GetDlgItem(fileDialog, edt1);
    SetWindowTextA(nameBox, name.c_str());
    SendMessageA(GetDlgItem(fileDialog, IDOK), BM_CLICK, 0, 0);
}

}  // namespace quenlet::test
