#include "core/control_block.h"

#include "settings/port_settings.h"

namespace quenlet {

void setLineParameters(DCB& dcb, int baudRate, int dataBits, int parity, int stopBits) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    // Windows supports binary mode only; without it EofChar would end the input.
    dcb.fBinary = 1;
    // Parity errors are checked and reported, but the byte is kept as it came (no error character).
    dcb.fParity = parity != static_cast<int>(Parity::None) ? 1 : 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    // Bytes that arrive while DSR is low are bytes all the same.
    dcb.fDsrSensitivity = 0;
    // A driver that aborts I/O on a line error would turn line noise into failed reads and writes.
    dcb.fAbortOnError = 0;
}

bool setFlowPreset(DCB& dcb, unsigned int mode) {
    switch (static_cast<FlowControl>(mode)) {
    case FlowControl::None:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        return true;
    case FlowControl::XonXoff:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.XonLim = 100;
        dcb.XoffLim = 100;
        return true;
    case FlowControl::RtsCts:
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        return true;
    case FlowControl::DtrDsr:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 1;
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        return true;
    }
    return false;
}

}  // namespace quenlet
