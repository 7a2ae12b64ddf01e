// How long bytes take on the line at the port's settings, and the limits the program derives from
// it: how long a write may take before the device counts as holding the flow, and how often the
// input queue must be read so that it never runs half full.
#pragma once

#include <windows.h>

namespace quenlet {

struct LineFrame {
    int baudRate = 9600;
    int dataBits = 8;
    int parity = 0;    // the Parity numbers: 0 none, else one parity bit
    int stopBits = 0;  // the StopBits numbers: 0 one, 1 one and a half, 2 two
};

// Bits on the line for one character: start bit, data bits, parity bit, stop bits.
double bitsPerCharacter(const LineFrame& frame);
double bytesPerSecond(const LineFrame& frame);

// A write's time limit is kWriteLimitMs plus the returned milliseconds for every byte written:
// a slow line is not a held one, so the limit grows with the bytes' own line time.
inline constexpr DWORD kWriteLimitMs = 1000;
DWORD writeMultiplierMs(const LineFrame& frame);
// The limit of a write of size bytes.
DWORD writeLimitMs(const LineFrame& frame, DWORD size);

// The most bytes one write may carry: at most maxBytes, and no more than lineMs of line time (at
// least one byte), so that even a write that cannot be cancelled ends within lineMs.
DWORD writeChunkBytes(const LineFrame& frame, DWORD maxBytes, DWORD lineMs);

// How often the input queue is read while bytes keep coming: every handOverMs, or sooner where a
// queue of queueSize bytes could otherwise fill past half at the line's byte rate. The reads come
// twice in the time half the queue takes to fill, which leaves the other half of that time for
// the read itself to come late (a busy machine, bytes that arrive in bursts). At least 1 ms.
DWORD queueReadIntervalMs(const LineFrame& frame, DWORD queueSize, DWORD handOverMs);

}  // namespace quenlet
