#include "core/capture_file.h"

#include <algorithm>

namespace quenlet {

bool CaptureFile::open(const std::string& path) {
    close();
    path_ = path;
    // Append-only access: every write lands at the end, whoever else writes to the file.
    file_.reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    error_ = file_.valid() ? 0 : GetLastError();
    return file_.valid();
}

bool CaptureFile::append(const void* data, std::size_t size, std::size_t* written) {
    *written = 0;
    const char* const bytes = static_cast<const char*>(data);
    while (*written < size) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size - *written, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file_.get(), bytes + *written, part, &done, nullptr)) {
            *written += done;
            error_ = GetLastError();
            return false;
        }
        *written += done;
        if (done == 0) {
            // A write that takes nothing without an error would never end; a full medium is
            // what it means on the systems that do this.
            error_ = ERROR_DISK_FULL;
            return false;
        }
    }
    return true;
}

}  // namespace quenlet
