#include "ui/display_texts.h"

#include <cinttypes>
#include <cstdio>

namespace quenlet {

std::string openMenuText(const std::string& portName) { return "&Open (" + portName + ")"; }

std::string closeMenuText(const std::string& portName) { return "&Close (" + portName + ")"; }

std::string sendMenuText(SendMode mode) {
    switch (mode) {
    case SendMode::Ascii: return "&Send (ASCII)";
    case SendMode::Hex: return "&Send (Hex)";
    case SendMode::File: return "&Send (File)";
    }
    return "&Send";
}

std::string receiveMenuText(ReceiveMode mode, bool alsoToFile) {
    switch (mode) {
    case ReceiveMode::Ascii: return alsoToFile ? "&Receive (ASCII + File)" : "&Receive (ASCII)";
    case ReceiveMode::Hex: return alsoToFile ? "&Receive (Hex + File)" : "&Receive (Hex)";
    case ReceiveMode::FileOnly: return "&Receive (File)";
    }
    return "&Receive";
}

std::string statusLineText(bool portOpen, const std::string& portName, std::int64_t bytesSent,
                           std::int64_t bytesReceived) {
    if (!portOpen) return "Ready: " + portName;
    char counts[64];
    std::snprintf(counts, sizeof counts, ", Sent/Received bytes: %" PRId64 "/%" PRId64, bytesSent,
                  bytesReceived);
    return portName + counts;
}

std::string waitingStatusLineText(const std::string& portName, const std::string& systemText, bool heldByOther,
                                  std::int64_t bytesSent, std::int64_t bytesReceived) {
    // The system's text on one line, without its line break.
    std::string reason = systemText;
    for (char& c : reason) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    char counts[64];
    std::snprintf(counts, sizeof counts, "; Sent/Received bytes: %" PRId64 "/%" PRId64, bytesSent, bytesReceived);
    return portName + (heldByOther ? " held by another program (" + reason + "), waiting"
                                   : " lost (" + reason + "), waiting for it to return") +
           counts;
}

}  // namespace quenlet
