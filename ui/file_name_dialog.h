// FileNameDialog: the system's open-file and save-file dialogs, handing back full paths. One
// instance lives in the main dialog; the settings dialogs borrow it. It remembers where the next
// dialog of either kind opens (the documents folder at first, then the folder of the last choice),
// centres every dialog it shows, and on save can add the extension of the selected filter.
//
// Window thread only; the dialogs are modal to the owner passed in.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

#include "core/member_thunk.h"
#include "ui/file_name_request.h"

namespace quenlet {

class FileNameDialog {
public:
    FileNameDialog();
    virtual ~FileNameDialog();

    FileNameDialog(const FileNameDialog&) = delete;
    FileNameDialog& operator=(const FileNameDialog&) = delete;

    // `filter`: NUL-separated description/pattern pairs closed by an empty string; null means
    // kAllFilesFilter. A non-empty `initialDirectory` replaces the remembered directory for this
    // and every later call. `initialName` is at most nameBufferSize bytes. Returns the chosen full
    // paths; empty when the user cancelled or the dialog failed.
    std::vector<std::string> ChooseFilesToOpen(HWND owner, bool allowMultiple, const char* filter,
                                               const std::string& initialName,
                                               const std::string& initialDirectory);

    // As above for one name to save; with `appendExtension` a name without any "." gets the
    // extension of the filter selected in the dialog. Empty when cancelled or failed.
    std::string ChooseFileToSave(HWND owner, bool appendExtension, const char* filter,
                                 const std::string& initialName,
                                 const std::string& initialDirectory);

    // Capacity in characters given to the system for the returned names (nMaxFile).
    static constexpr unsigned nameBufferSize = 1024;

    // Called by the system while a dialog is up; both centre the dialog on WM_INITDIALOG and
    // return 0, so the system's default processing always goes on.
    virtual UINT_PTR OnOpenHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual UINT_PTR OnSaveHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The request records as the last call left them (flags and filter index the system wrote
    // back included; the pointers lent for that call are cleared).
    const OPENFILENAMEA& openRecord() const { return openRequest; }
    const OPENFILENAMEA& saveRecord() const { return saveRequest; }
    // Initial directory of the next dialog.
    const std::string& nextInitialDirectory() const { return rememberedDirectory; }

private:
    // The thunk can only jump to a fixed code address, not through the vtable, so it binds these
    // and they make the virtual call.
    UINT_PTR openHookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT_PTR saveHookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Filter, initial directory and the caller's initial name, shared by both kinds of request.
    void prepareRequest(OPENFILENAMEA& request, HWND owner, const char* filter,
                        const std::string& initialName, const std::string& initialDirectory,
                        std::vector<char>& nameBuffer);
    static void clearLentPointers(OPENFILENAMEA& request);

    OPENFILENAMEA openRequest{};
    OPENFILENAMEA saveRequest{};
    MemberThunk openHookBinding;
    MemberThunk saveHookBinding;
    std::string rememberedDirectory;
};

}  // namespace quenlet
