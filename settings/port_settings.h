// The one record of everything the user can choose: port and line parameters, send and receive
// modes and their files. Built from defaults at start-up, never stored.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quenlet {

// Parity and StopBits numbers are the device control block's own codes.
enum class Parity : std::int32_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::int32_t { One = 0, OnePointFive = 1, Two = 2 };
enum class FlowControl : std::int32_t { None = 0, XonXoff = 1, RtsCts = 2, DtrDsr = 3 };
enum class SendMode : std::int32_t { Ascii = 0, Hex = 1, File = 2 };
enum class ReceiveMode : std::int32_t { Ascii = 0, Hex = 1, FileOnly = 2 };

struct BaudRateEntry {
    const char* text;
    std::int32_t rate;
};

// The only rates the program offers or accepts; the index is the port settings list position.
inline constexpr std::array<BaudRateEntry, 15> kBaudRates{{
    {"110", 110},       {"300", 300},       {"600", 600},       {"1200", 1200},
    {"2400", 2400},     {"4800", 4800},     {"9600", 9600},     {"14400", 14400},
    {"19200", 19200},   {"38400", 38400},   {"56000", 56000},   {"57600", 57600},
    {"115200", 115200}, {"128000", 128000}, {"256000", 256000},
}};

bool isSupportedBaudRate(int rate);

// Highest port number the start-up probe tries (the port settings dialog goes one further).
inline constexpr int kStartupProbeLastPort = 255;

struct PortSettings {
    std::string portName;
    std::int32_t baudRate = 9600;
    std::int32_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;
    SendMode sendMode = SendMode::Ascii;
    ReceiveMode receiveMode = ReceiveMode::Ascii;
    std::int32_t alsoReceiveToFile = 0;
    std::string sendFileName;
    std::string receiveFileName;

    // Defaults, with portName the first present port of COM1..COM255 (empty when none is).
    PortSettings();
};

// "COM%d" of the lowest present port in [first, last], or empty.
std::string findFirstPresentPort(int first, int last);

// Written only by the window thread; read by the workers without a lock (whole 32-bit fields).
extern PortSettings g_settings;

// sendFileName is replaced by the send settings dialog while a file send may be reading it; these
// two keep the read and the replacement apart.
std::string copySendFileName();
void replaceSendFileName(const std::string& name);

}  // namespace quenlet
