// Character scanning for path texts in the ANSI code page: in a double-byte code page a trail
// byte can have the value of a backslash, so a plain byte search would cut a path in two.
#pragma once

#include <cstddef>
#include <string_view>

namespace quenlet {

// Offset of the last character `wanted` (an ASCII character), skipping trail bytes; npos if none.
std::size_t findLastCharacter(std::string_view text, char wanted);

// True when the last character of the text is a backslash.
bool endsWithBackslash(std::string_view text);

}  // namespace quenlet
