#include "core/port_notices.h"

#include <windows.h>

#include <cinttypes>

#include "framework/text_format.h"

namespace quenlet {
namespace {

// System texts end with a line break; one without gets its own, so the next sentence starts a line.
std::string asLines(const std::string& text) {
    if (text.empty() || text.back() == '\n') return text;
    return text + "\r\n";
}

const char* sendName(SendProgress::Kind kind) {
    switch (kind) {
    case SendProgress::Kind::Text: return "text";
    case SendProgress::Kind::Hex: return "hex";
    case SendProgress::Kind::File: return "file";
    }
    return "";
}

}  // namespace

std::string portLostText(const std::string& portName, const std::string& systemText, const SendProgress* cutSend) {
    std::string text = formatText("Error: Port(%s), ", portName.c_str()) + systemText;
    if (cutSend != nullptr) text = asLines(text) + sendStoppedText(*cutSend);
    return text;
}

std::string waitingLossText(const std::string& portName, const std::string& systemText, const SendProgress* cutSend,
                            bool loopStopped) {
    std::string text = portLostText(portName, systemText, cutSend);
    if (loopStopped) text = asLines(text) + "Loop sending stopped; it does not start again by itself.";
    return asLines(text) + "The port waits for its device to return (Close stops waiting).";
}

std::string sendStoppedText(const SendProgress& progress) {
    return formatText("The %s send stopped after %" PRId64 " of %" PRId64 " bytes.", sendName(progress.kind),
                      progress.sent, progress.total);
}

std::string loopStalledText(std::int64_t accepted, std::int64_t size) {
    return formatText("Loop sending stopped: the device took %" PRId64 " of %" PRId64
                      " bytes within the write time limit.",
                      accepted, size);
}

std::string fileReadFailedText(std::int64_t sent) {
    return formatText("File read failed after %" PRId64 " bytes were sent.", sent);
}

std::string overrunText(const std::string& portName, unsigned long errors) {
    const bool queue = (errors & CE_RXOVER) != 0;
    const bool hardware = (errors & CE_OVERRUN) != 0;
    const char* where = queue && hardware ? "the driver's input queue and the port's hardware overflowed"
                        : queue           ? "the driver's input queue overflowed"
                                          : "the port's hardware overflowed (a character overrun)";
    return formatText("Bytes were lost on %s: %s. What arrived since is shown and counted as it came.",
                      portName.c_str(), where);
}

std::string captureOpenFailedText(const std::string& path, const std::string& systemText) {
    return "Capture file open failed: " + path + "\r\n" + systemText;
}

std::string captureWriteFailedText(const std::string& path, const std::string& systemText, std::size_t notCaptured) {
    return "Capture file write failed: " + path + "\r\n" + asLines(systemText) +
           formatText("%" PRIu64 " bytes were not captured, and the file is closed. Confirming the receive "
                      "settings opens it again.",
                      static_cast<std::uint64_t>(notCaptured));
}

}  // namespace quenlet
