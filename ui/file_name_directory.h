// Where the next file dialog opens: the folder of the user's last choice, but only when that
// choice lies on a volume the system can still see.
#pragma once

#include <string>

namespace quenlet {

// GetVolumeInformationA on the path's first three characters ("C:\" for a drive path). A network
// path ("\\server\...") or a drive that went away fails.
bool isAccessibleVolumeRoot(const std::string& path);

// The directory to remember after `chosenPath` was picked: the path up to and including its last
// backslash, or `remembered` unchanged when the path is not on an accessible volume.
std::string directoryAfterChoice(const std::string& remembered, const std::string& chosenPath);

}  // namespace quenlet
