// printf-style formatting into std::string and reading a window's text, so callers never size
// character buffers by hand.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

namespace quenlet {

// The text that std::snprintf would produce for format and the arguments, of any length.
std::string formatText(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
std::string formatTextV(const char* format, va_list arguments);

// The whole window text of window (empty for no window).
std::string windowText(HWND window);

}  // namespace quenlet
