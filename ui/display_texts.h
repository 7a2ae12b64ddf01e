// Texts the display refresh writes: menu item labels and the status line.
#pragma once

#include <cstdint>
#include <string>

#include "settings/port_settings.h"

namespace quenlet {

std::string openMenuText(const std::string& portName);   // "&Open (COM3)"
std::string closeMenuText(const std::string& portName);  // "&Close (COM3)"
std::string sendMenuText(SendMode mode);                  // "&Send (ASCII)"
std::string receiveMenuText(ReceiveMode mode, bool alsoToFile);  // "&Receive (Hex + File)"

// "COM1, Sent/Received bytes: 12/345" while open; "Ready: COM1" while closed.
std::string statusLineText(bool portOpen, const std::string& portName, std::int64_t bytesSent,
                           std::int64_t bytesReceived);
// While a lost port waits for its device, in one line with the system's reason:
// "COM1 lost (Not ready.), waiting for it to return; Sent/Received bytes: 12/345", or, while another
// program holds the port, "COM1 held by another program (Access denied.), waiting; ...".
std::string waitingStatusLineText(const std::string& portName, const std::string& systemText, bool heldByOther,
                                  std::int64_t bytesSent, std::int64_t bytesReceived);

inline constexpr char kSendFileBanner[] = "Sending file from...\r\n";
inline constexpr char kCaptureFileBanner[] = "Receiving file to...\r\n";
inline constexpr char kIntervalPlaceholder[] = "Uint/ms";

}  // namespace quenlet
