#include "settings/port_settings.h"

#include <algorithm>
#include <cstdio>

#include "core/serial_port.h"
#include "framework/handles.h"

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

namespace {

CriticalSection& sendFileNameLock() {
    static CriticalSection lock;
    return lock;
}

}  // namespace

std::string copySendFileName() {
    CriticalSectionLock lock(sendFileNameLock());
    return g_settings.sendFileName;
}

void replaceSendFileName(const std::string& name) {
    CriticalSectionLock lock(sendFileNameLock());
    g_settings.sendFileName = name;
}

}  // namespace quenlet
