#include "ui/file_name_text.h"

#include <windows.h>

namespace quenlet {

std::size_t findLastCharacter(std::string_view text, char wanted) {
    std::size_t found = std::string_view::npos;
    for (std::size_t offset = 0; offset < text.size();) {
        const char current = text[offset];
        if (IsDBCSLeadByte(static_cast<BYTE>(current)) && offset + 1 < text.size()) {
            offset += 2;
            continue;
        }
        if (current == wanted) found = offset;
        ++offset;
    }
    return found;
}

bool endsWithBackslash(std::string_view text) {
    return !text.empty() && findLastCharacter(text, '\\') == text.size() - 1;
}

}  // namespace quenlet
