#include "ui/file_name_dialog.h"

#include <mbstring.h>
#include <shlobj.h>

#include <algorithm>

#include "ui/file_name_directory.h"
#include "ui/file_name_extension.h"
#include "ui/file_name_placement.h"
#include "ui/file_name_selection.h"

namespace quenlet {
namespace {

constexpr DWORD kOpenFlags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_FILEMUSTEXIST | OFN_ENABLEHOOK;
constexpr DWORD kSaveFlags = kOpenFlags | OFN_OVERWRITEPROMPT;
static_assert(kOpenFlags == 0x881020 && kSaveFlags == 0x881022);

std::string documentsFolder() {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE)) return {};
    return folder;
}

}  // namespace

FileNameDialog::FileNameDialog() : rememberedDirectory(documentsFolder()) {
    const DWORD size = requestSizeForRunningSystem();
    openRequest.lStructSize = size;
    saveRequest.lStructSize = size;
}

FileNameDialog::~FileNameDialog() = default;

void FileNameDialog::prepareRequest(OPENFILENAMEA& request, HWND owner, const char* filter,
                                    const std::string& initialName,
                                    const std::string& initialDirectory,
                                    std::vector<char>& nameBuffer) {
    request.nMaxFile = nameBufferSize;
    request.hwndOwner = owner;
    request.lpstrFilter = filter != nullptr ? filter : kAllFilesFilter;
    if (!initialDirectory.empty()) rememberedDirectory = initialDirectory;
    request.lpstrInitialDir = rememberedDirectory.c_str();

    nameBuffer.assign(nameBufferSize + 1, '\0');
    const std::size_t nameLength = std::min<std::size_t>(initialName.size(), nameBufferSize);
    _mbsnbcpy(reinterpret_cast<unsigned char*>(nameBuffer.data()),
              reinterpret_cast<const unsigned char*>(initialName.c_str()), nameLength);
    request.lpstrFile = nameBuffer.data();
}

// The buffer, the filter and the directory text belong to one call only.
void FileNameDialog::clearLentPointers(OPENFILENAMEA& request) {
    request.lpstrFile = nullptr;
    request.lpstrFilter = nullptr;
    request.lpstrInitialDir = nullptr;
}

std::vector<std::string> FileNameDialog::ChooseFilesToOpen(HWND owner, bool allowMultiple,
                                                           const char* filter,
                                                           const std::string& initialName,
                                                           const std::string& initialDirectory) {
    const DialogHookProc hook =
        openHookBinding.bindDialogHook(this, &FileNameDialog::openHookEntry);
    if (hook == nullptr) return {};  // without its hook the dialog cannot be started

    openRequest.Flags |= kOpenFlags;
    openRequest.lpfnHook = hook;
    if (allowMultiple) {
        openRequest.Flags |= OFN_ALLOWMULTISELECT;
    } else {
        openRequest.Flags &= ~static_cast<DWORD>(OFN_ALLOWMULTISELECT);
    }
    std::vector<char> nameBuffer;
    prepareRequest(openRequest, owner, filter, initialName, initialDirectory, nameBuffer);

    std::vector<std::string> paths;
    if (GetOpenFileNameA(&openRequest)) {
        const bool multiple = (openRequest.Flags & OFN_ALLOWMULTISELECT) != 0;
        paths = chosenPaths(std::string_view(nameBuffer.data(), nameBuffer.size()), multiple);
        if (!paths.empty()) {
            rememberedDirectory = directoryAfterChoice(rememberedDirectory, paths.front());
        }
    }
    clearLentPointers(openRequest);
    return paths;
}

std::string FileNameDialog::ChooseFileToSave(HWND owner, bool appendExtension, const char* filter,
                                             const std::string& initialName,
                                             const std::string& initialDirectory) {
    const DialogHookProc hook =
        saveHookBinding.bindDialogHook(this, &FileNameDialog::saveHookEntry);
    if (hook == nullptr) return {};

    saveRequest.Flags |= kSaveFlags;
    saveRequest.lpfnHook = hook;
    std::vector<char> nameBuffer;
    prepareRequest(saveRequest, owner, filter, initialName, initialDirectory, nameBuffer);

    std::string path;
    if (GetSaveFileNameA(&saveRequest)) {
        path = nameBuffer.data();
        if (!path.empty()) rememberedDirectory = directoryAfterChoice(rememberedDirectory, path);
        // After the system's overwrite question, which therefore saw the name as typed.
        if (appendExtension) {
            path = withFilterExtension(path, saveRequest.lpstrFilter, saveRequest.nFilterIndex);
        }
    }
    clearLentPointers(saveRequest);
    return path;
}

UINT_PTR FileNameDialog::OnOpenHook(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) centreFileDialogFrame(window);
    return 0;
}

UINT_PTR FileNameDialog::OnSaveHook(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) centreFileDialogFrame(window);
    return 0;
}

UINT_PTR FileNameDialog::openHookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return OnOpenHook(window, message, wParam, lParam);
}

UINT_PTR FileNameDialog::saveHookEntry(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return OnSaveHook(window, message, wParam, lParam);
}

}  // namespace quenlet
