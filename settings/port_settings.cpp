#include "settings/port_settings.h"

#include <algorithm>
#include <cstdio>

#include "core/serial_port.h"

namespace quenlet {

bool isSupportedBaudRate(int rate) {
    return std::any_of(kBaudRates.begin(), kBaudRates.end(),
                       [rate](const BaudRateEntry& entry) { return entry.rate == rate; });
}

std::string findFirstPresentPort(int first, int last) {
    for (int number = first; number <= last; ++number) {
        if (SerialPort::portExists(number)) {
            char name[16];
            std::snprintf(name, sizeof name, "COM%d", number);
            return name;
        }
    }
    return {};
}

PortSettings::PortSettings() : portName(findFirstPresentPort(1, kStartupProbeLastPort)) {}

PortSettings g_settings;

}  // namespace quenlet
