// RAII owners for the Win32 objects the program holds: kernel handles, critical sections and
// C streams. Each owner releases exactly once and cannot be copied.
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>

namespace quenlet {

// A kernel handle (event, thread, file) closed with CloseHandle. Treats both NULL and
// INVALID_HANDLE_VALUE as "no handle", since CreateFile and CreateEvent disagree on which they use.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }

    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr) {
        const HANDLE old = std::exchange(handle_, handle);
        if (old != nullptr && old != INVALID_HANDLE_VALUE) CloseHandle(old);
    }

private:
    HANDLE handle_ = nullptr;
};

// A manual-reset, initially clear, unnamed event.
inline UniqueHandle makeManualResetEvent() {
    return UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.enter(); }
    ~CriticalSectionLock() { section_.leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

// A C stream closed with fclose.
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(FILE* file) : file_(file) {}
    ~UniqueFile() { reset(); }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
    UniqueFile& operator=(UniqueFile&& other) noexcept {
        if (this != &other) reset(std::exchange(other.file_, nullptr));
        return *this;
    }

    FILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    void reset(FILE* file = nullptr) {
        FILE* const old = std::exchange(file_, file);
        if (old != nullptr) std::fclose(old);
    }

private:
    FILE* file_ = nullptr;
};

}  // namespace quenlet
