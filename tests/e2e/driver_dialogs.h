// Setting the receive and send modes through the program's own modal settings dialogs, as a user
// would: open the dialog from the main window, pick the radio button, fill in the file name, OK.
#pragma once

#include <string>

namespace e2e {

enum class ReceiveChoice { Ascii, Hex, FileOnly };
enum class SendChoice { Ascii, Hex, File };

// An empty capturePath leaves "also receive to the file" off (Ascii, Hex). Returns a description
// of what went wrong, empty on success.
std::string chooseReceiveMode(ReceiveChoice choice, const std::string& capturePath);
std::string chooseSendMode(SendChoice choice, const std::string& filePath);

// The port ("COM7") and line parameters picked in the Port Settings dialog, as its lists show
// them: the baud rate ("115200"), data bits ("8"), parity ("None", "Even", "Odd", "Mark",
// "Space"), stop bits ("1", "1.5", "2") and flow control ("None", "XON/XOFF", "RTS/CTS",
// "DTR/DSR"); an empty one is left as the dialog shows it.
struct PortChoice {
    std::string portName, baudRate, dataBits, parity, stopBits, flowControl;
};
std::string choosePortSettings(const PortChoice& choice);

}  // namespace e2e
