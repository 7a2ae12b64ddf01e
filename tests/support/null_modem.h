// Test side of the virtual null-modem: the far ("peer") end of a COM port's pty pair, the modem
// input lines the rig's ioctl fixture reports, and bounded waiting.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quenlet::test {

// The rig directory as a Windows path (Z:\...), from QUENLET_RIG_DIR; empty when the rig is not up.
std::string rigDirectory();
// COM port number the tests use (QUENLET_TEST_PORT, default 5).
int testPortNumber();
std::string testPortName();         // "COM5"
std::string testDevicePath();       // "\\.\COM5"
inline constexpr int kMissingPortNumber = 9;  // never mapped by the rig

// Polls `condition` until it holds or `limit` passes; returns its last value.
template <class Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        Sleep(2);
    }
}

// Modem input lines of a port, as the far end drives them.
struct ModemLines {
    bool cts = false, dsr = false, ring = false, rlsd = false;
};
// Replaces the lines the fixture reports for COM<port>.
bool setModemLines(int port, const ModemLines& lines);

// How the fixture makes a COM port behave: a pty taking any amount at once, a UART sending at the
// rate and frame set (each write returns once its bytes have left the line), or a port with no
// modem lines at all (as a bridged pty: modem-line and counter requests fail).
enum class LineMode { Instant, LineRate, Bare };
// Sets COM<port>'s mode. The fixture reads it at most every 100 ms, so this returns once every
// process of the rig sees the new mode.
bool setLineMode(int port, LineMode mode);

// A mode for one scope: Instant again at its end.
class ScopedLineMode {
public:
    explicit ScopedLineMode(LineMode mode, int port = testPortNumber());
    ~ScopedLineMode();
    ScopedLineMode(const ScopedLineMode&) = delete;
    ScopedLineMode& operator=(const ScopedLineMode&) = delete;

    // Whether the mode was set.
    bool ok() const { return ok_; }

private:
    int port_;
    bool ok_;
};

class NullModemPeer {
public:
    explicit NullModemPeer(int port = testPortNumber());
    ~NullModemPeer();
    NullModemPeer(const NullModemPeer&) = delete;
    NullModemPeer& operator=(const NullModemPeer&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool write(const void* data, size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Reads until `size` bytes arrived or `limit` passed; returns what arrived.
    std::vector<std::uint8_t> read(size_t size, std::chrono::milliseconds limit);
    // Discards whatever is queued now.
    void drain();
    DWORD queued();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

std::vector<std::uint8_t> allByteValues();
std::vector<std::uint8_t> patternBytes(size_t size, std::uint32_t seed);

}  // namespace quenlet::test
