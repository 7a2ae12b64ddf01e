// Time points from the high-resolution counter, for measuring intervals below a millisecond
// (GetTickCount moves in steps of up to 16 ms).
#pragma once

#include <windows.h>

#include <cstdint>

namespace quenlet {

struct Stopwatch {
    static std::int64_t now() {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return counter.QuadPart;
    }
    // The counter's advance over milliseconds.
    static std::int64_t ticksIn(DWORD milliseconds) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart * milliseconds / 1000;
    }
    static double secondsBetween(std::int64_t from, std::int64_t to) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(to - from) / static_cast<double>(frequency.QuadPart);
    }
};

}  // namespace quenlet
