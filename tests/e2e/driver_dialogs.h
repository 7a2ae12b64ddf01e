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

}  // namespace e2e
