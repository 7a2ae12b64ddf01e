#include "ui/file_name_selection.h"

#include <windows.h>

#include "ui/file_name_text.h"

namespace quenlet {
namespace {

// The NUL-terminated string starting at `offset`, cut at the buffer's end.
std::string_view stringAt(std::string_view buffer, std::size_t offset) {
    if (offset >= buffer.size()) return {};
    const std::string_view rest = buffer.substr(offset);
    return rest.substr(0, rest.find('\0'));
}

}  // namespace

bool reportsDirectory(const char* path) {
    return (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> chosenPaths(std::string_view nameBuffer, bool multipleSelection,
                                     DirectoryProbe isDirectory) {
    const std::string_view first = stringAt(nameBuffer, 0);
    if (first.empty()) return {};
    if (!multipleSelection) return {std::string(first)};

    const std::string firstText(first);
    if (!isDirectory(firstText.c_str())) return {firstText};

    std::string directory = firstText;
    if (!endsWithBackslash(directory)) directory += '\\';
    std::vector<std::string> paths;
    for (std::size_t offset = first.size() + 1;;) {
        const std::string_view name = stringAt(nameBuffer, offset);
        if (name.empty()) break;
        paths.push_back(directory + std::string(name));
        offset += name.size() + 1;
    }
    return paths;
}

}  // namespace quenlet
