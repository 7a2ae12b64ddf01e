// The device control block the program sets at open. A driver keeps the block the previous program
// left, and several of its fields change or drop received bytes without a word (NUL stripping,
// error-character replacement, DSR sensitivity, abort on error, non-binary mode): they are all set
// here, so that the bytes pass untouched whatever ran before.
#pragma once

#include <windows.h>

namespace quenlet {

// The line parameters (parity and stopBits are the Parity and StopBits numbers) and every field
// that decides what happens to the bytes; the flow fields are left to setFlowPreset.
void setLineParameters(DCB& dcb, int baudRate, int dataBits, int parity, int stopBits);

// One of the four flow presets (the FlowControl numbers). False for an unknown preset, which
// leaves the block as it was.
bool setFlowPreset(DCB& dcb, unsigned int mode);

}  // namespace quenlet
