#include "support/null_modem.h"

#include <cstdio>
#include <cstdlib>

namespace quenlet::test {

std::string rigDirectory() {
    const char* unixPath = std::getenv("QUENLET_RIG_DIR");
    if (unixPath == nullptr || *unixPath != '/') return {};
    std::string path = "Z:";
    for (const char* c = unixPath; *c; ++c) path += (*c == '/') ? '\\' : *c;
    return path;
}

int testPortNumber() {
    const char* text = std::getenv("QUENLET_TEST_PORT");
    const int number = text ? std::atoi(text) : 0;
    return number > 0 ? number : 5;
}

std::string testPortName() { return "COM" + std::to_string(testPortNumber()); }
std::string testDevicePath() { return "\\\\.\\" + testPortName(); }

namespace {

// The rig's index of its ports (ports.ini): names like "com5.peer" cannot be opened directly,
// because Win32 path parsing takes "COM5.peer" for the device COM5.
std::string rigPortPath(int port, const char* key) {
    const std::string index = rigDirectory() + "\\ports.ini";
    const std::string section = "COM" + std::to_string(port);
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof value, index.c_str());
    return value;
}

// Written beside the target and renamed over it, so the fixture never reads half a file.
bool replaceRigFile(int port, const char* key, const std::string& text) {
    const std::string target = rigPortPath(port, key);
    if (target.empty()) return false;
    const std::string temp = target + ".tmp";
    const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    CloseHandle(file);
    return ok && MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The fixture reads a port's mode file at most this often (serial_fixture.c); a little more is
// waited for, so that no process still goes by the mode it read before.
constexpr DWORD kLineModeRecheckMs = 100;
constexpr DWORD kLineModeSettleMs = kLineModeRecheckMs + 20;

const char* lineModeWord(LineMode mode) {
    switch (mode) {
    case LineMode::LineRate: return "line-rate";
    case LineMode::Bare: return "bare";
    case LineMode::Instant: break;
    }
    return "instant";
}

}  // namespace

bool setModemLines(int port, const ModemLines& lines) {
    std::string text;
    if (lines.cts) text += "CTS ";
    if (lines.dsr) text += "DSR ";
    if (lines.ring) text += "RING ";
    if (lines.rlsd) text += "RLSD ";
    text += "\n";
    return replaceRigFile(port, "lines", text);
}

bool setLineMode(int port, LineMode mode) {
    if (!replaceRigFile(port, "mode", std::string(lineModeWord(mode)) + "\n")) return false;
    // No process can be told: each one takes a new mode within its re-check interval.
    Sleep(kLineModeSettleMs);
    return true;
}

ScopedLineMode::ScopedLineMode(LineMode mode, int port) : port_(port), ok_(setLineMode(port, mode)) {}

ScopedLineMode::~ScopedLineMode() {
    if (ok_ && !setLineMode(port_, LineMode::Instant))
        std::fprintf(stderr, "null_modem: COM%d could not be put back to instant mode\n", port_);
}

NullModemPeer::NullModemPeer(int port) {
    const std::string path = rigPortPath(port, "peer");
    if (path.empty()) return;
    handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 5000;
    SetCommTimeouts(handle_, &timeouts);
    drain();
}

NullModemPeer::~NullModemPeer() {
    if (isOpen()) CloseHandle(handle_);
}

bool NullModemPeer::write(const void* data, size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(size > 4096 ? 4096 : size);
        if (!WriteFile(handle_, bytes, chunk, &written, nullptr)) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

DWORD NullModemPeer::queued() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle_, &errors, &status) ? status.cbInQue : 0;
}

std::vector<std::uint8_t> NullModemPeer::read(size_t size, std::chrono::milliseconds limit) {
    std::vector<std::uint8_t> received;
    waitUntil(
        [&] {
            // Only read what is queued: a read of an empty pty queue may not return under Wine.
            const DWORD available = queued();
            if (available > 0) {
                const size_t offset = received.size();
                const size_t wanted = std::min<size_t>(available, size - offset);
                received.resize(offset + wanted);
                DWORD got = 0;
                ReadFile(handle_, received.data() + offset, static_cast<DWORD>(wanted), &got, nullptr);
                received.resize(offset + got);
            }
            return received.size() >= size;
        },
        limit);
    return received;
}

void NullModemPeer::drain() {
    std::vector<std::uint8_t> sink(4096);
    for (DWORD available = queued(); available > 0; available = queued()) {
        DWORD got = 0;
        if (!ReadFile(handle_, sink.data(), std::min<DWORD>(available, 4096), &got, nullptr) || got == 0)
            break;
    }
}

std::vector<std::uint8_t> allByteValues() {
    std::vector<std::uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

std::vector<std::uint8_t> patternBytes(size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed ? seed : 1;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

}  // namespace quenlet::test
