#include "ui/file_name_extension.h"

#include <cstring>
#include <string_view>

#include "ui/file_name_text.h"

namespace quenlet {

std::vector<std::string> filterPatterns(const char* filter) {
    std::vector<std::string> patterns;
    if (filter == nullptr) return patterns;
    const char* entry = filter;
    while (*entry != '\0') {
        const char* const pattern = entry + std::strlen(entry) + 1;  // skip the description
        if (*pattern == '\0') break;                                  // description without pattern
        patterns.emplace_back(pattern);
        entry = pattern + std::strlen(pattern) + 1;
    }
    return patterns;
}

std::string withFilterExtension(const std::string& path, const char* filter, DWORD filterIndex) {
    if (path.empty() || findLastCharacter(path, '.') != std::string::npos) return path;
    const std::vector<std::string> patterns = filterPatterns(filter);
    if (filterIndex == 0 || filterIndex > patterns.size()) return path;
    const std::string& pattern = patterns[filterIndex - 1];
    if (pattern == "*.*") return path;
    const std::size_t dot = findLastCharacter(pattern, '.');
    if (dot == std::string::npos) return path;
    return path + pattern.substr(dot);
}

}  // namespace quenlet
