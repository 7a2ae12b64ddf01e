#include "ui/file_name_directory.h"

#include <windows.h>

#include "ui/file_name_text.h"

namespace quenlet {

bool isAccessibleVolumeRoot(const std::string& path) {
    const std::string root = path.substr(0, 3);
    return GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) !=
           FALSE;
}

std::string directoryAfterChoice(const std::string& remembered, const std::string& chosenPath) {
    if (!isAccessibleVolumeRoot(chosenPath)) return remembered;
    const std::size_t lastBackslash = findLastCharacter(chosenPath, '\\');
    if (lastBackslash == std::string::npos) return {};
    return chosenPath.substr(0, lastBackslash + 1);
}

}  // namespace quenlet
