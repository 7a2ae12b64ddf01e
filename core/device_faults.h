// A seam for tests: answers that the serial device gives in place of its own, so that the program's
// handling of failures a test line cannot produce (an aborted wait read, a wait read that completes
// at once without a byte, one the device will not give back, a lost device on a write) runs through
// the real device and monitor code. Nothing is injected unless a test installs a hook.
#pragma once

#include <windows.h>

#include <functional>

namespace quenlet {

// The device calls an answer can stand in for.
enum class DeviceCall {
    WaitRead,     // the one-byte read the monitor's wait rests on, when it is issued
    Write,        // a send's write
    ModemStatus,  // GetCommModemStatus
    Open,         // the device's CreateFile
    Configure,    // the line settings of an open (SetCommState)
};

struct InjectedAnswer {
    enum class Kind {
        None,   // the device's own answer
        Code,   // the call fails with code (a wait read: completes at once with it)
        Empty,  // a wait read completes at once without a byte
        Stuck,  // a wait read stays pending, and a cancel does not end it
    };
    Kind kind = Kind::None;
    DWORD code = 0;
};

using DeviceFaultHook = std::function<InjectedAnswer(DeviceCall)>;

// Installs hook for every SerialPort of the process (an empty hook removes it). Tests only.
void setDeviceFaultHook(DeviceFaultHook hook);
// What the installed hook answers for call; None without a hook.
InjectedAnswer injectedAnswer(DeviceCall call);

}  // namespace quenlet
