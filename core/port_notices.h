// The texts that tell the user of a failure found while data moves: a lost device, a loop send
// the device stopped taking, a capture file that cannot be opened or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quenlet {

// How far a send had got when it ended before its last byte.
struct SendProgress {
    enum class Kind { Text, Hex, File };
    Kind kind = Kind::Text;
    std::int64_t sent = 0;   // bytes the device accepted
    std::int64_t total = 0;  // bytes the send was to write
};

// "Error: Port(COM5), " and the system text, as for a port that cannot be opened; then, when a
// send was cut short, how far it got.
std::string portLostText(const std::string& portName, const std::string& systemText, const SendProgress* cutSend);

// A lost device that the port waits for, told only when it cut a send or a loop short: the loss
// as portLostText says it, the loop's end, and that the port waits.
std::string waitingLossText(const std::string& portName, const std::string& systemText, const SendProgress* cutSend,
                            bool loopStopped);

// How far a send got that ended before its last byte: "The text send stopped after N of M bytes."
std::string sendStoppedText(const SendProgress& progress);

// A loop tick whose bytes the device did not all take within the write time limit.
std::string loopStalledText(std::int64_t accepted, std::int64_t size);

// A send file that could not be read to its end.
std::string fileReadFailedText(std::int64_t sent);

// Received bytes lost on the line: the driver's flags (CE_RXOVER, CE_OVERRUN) say where.
std::string overrunText(const std::string& portName, unsigned long errors);

std::string captureOpenFailedText(const std::string& path, const std::string& systemText);
std::string captureWriteFailedText(const std::string& path, const std::string& systemText, std::size_t notCaptured);

}  // namespace quenlet
