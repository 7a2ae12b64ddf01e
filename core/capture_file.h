// The file received data is captured to: opened for appending (created when missing), written
// without translation, and every write on its way to the disk when it returns (nothing is held in
// a buffer of ours), so the file holds everything up to the last chunk even if the program ends
// abruptly. Failures keep the system's error code for the message that tells the user.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "framework/handles.h"

namespace quenlet {

class CaptureFile {
public:
    CaptureFile() = default;
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // Closes any file open and opens path; false with lastError() when it cannot be opened.
    bool open(const std::string& path);
    void close() { file_.reset(); }
    bool isOpen() const { return file_.valid(); }
    explicit operator bool() const { return isOpen(); }

    // Appends size bytes at the end. False when not all of them reached the file: *written says
    // how many did, lastError() why the rest did not.
    bool append(const void* data, std::size_t size, std::size_t* written);

    const std::string& path() const { return path_; }
    DWORD lastError() const { return error_; }

private:
    UniqueHandle file_;
    std::string path_;
    DWORD error_ = 0;
};

}  // namespace quenlet
