// Prints how long the start-up probe of COM1..COM255 for the default port takes when it has to try
// every number (the worst case: no port, or only COM255), the part of the program's start-up that
// the serial ports cost. Run with the rig's env.sh sourced.
#include <windows.h>

#include <cstdio>

#include "core/serial_port.h"
#include "settings/port_settings.h"

int main() {
    constexpr int kRuns = 5;
    double best = 1e9;
    double total = 0;
    int present = 0;
    for (int run = 0; run < kRuns; ++run) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        present = 0;
        for (int number = 1; number <= quenlet::kStartupProbeLastPort; ++number) {
            if (quenlet::SerialPort::portExists(number)) ++present;
        }
        QueryPerformanceCounter(&end);
        const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        best = ms < best ? ms : best;
        total += ms;
    }
    std::printf("all %d probes (COM1..COM%d, %d present): best %.1f ms, mean %.1f ms over %d runs\n",
                quenlet::kStartupProbeLastPort, quenlet::kStartupProbeLastPort, present, best, total / kRuns, kRuns);
    return 0;
}
