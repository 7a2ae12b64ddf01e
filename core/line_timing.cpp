#include "core/line_timing.h"

#include <algorithm>
#include <cmath>

namespace quenlet {

double bitsPerCharacter(const LineFrame& frame) {
    const double stop = frame.stopBits == 2 ? 2.0 : frame.stopBits == 1 ? 1.5 : 1.0;
    return 1.0 + frame.dataBits + (frame.parity != 0 ? 1.0 : 0.0) + stop;
}

double bytesPerSecond(const LineFrame& frame) {
    return frame.baudRate > 0 ? frame.baudRate / bitsPerCharacter(frame) : 0.0;
}

DWORD writeMultiplierMs(const LineFrame& frame) {
    const double rate = bytesPerSecond(frame);
    if (rate <= 0) return 0;
    // Rounded up: the limit must never be shorter than the bytes' line time.
    return static_cast<DWORD>(std::ceil(1000.0 / rate));
}

DWORD writeLimitMs(const LineFrame& frame, DWORD size) { return kWriteLimitMs + writeMultiplierMs(frame) * size; }

DWORD writeChunkBytes(const LineFrame& frame, DWORD maxBytes, DWORD lineMs) {
    const double rate = bytesPerSecond(frame);
    if (rate <= 0) return maxBytes;
    return std::clamp<DWORD>(static_cast<DWORD>(rate * lineMs / 1000.0), 1, maxBytes);
}

DWORD queueReadIntervalMs(const LineFrame& frame, DWORD queueSize, DWORD handOverMs) {
    const double rate = bytesPerSecond(frame);
    if (rate <= 0 || queueSize == 0) return handOverMs;
    const double halfFullMs = queueSize / 2.0 / rate * 1000.0;
    return std::clamp<DWORD>(static_cast<DWORD>(halfFullMs / 2), 1, handOverMs);
}

}  // namespace quenlet
