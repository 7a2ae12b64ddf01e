// Puts narrow text on the clipboard as CF_TEXT, the way an edit box's copy does.
#pragma once

#include <windows.h>

#include <string_view>

namespace quenlet {

// Replaces the clipboard's contents with text, owned by owner. False when the clipboard could not
// be opened or the memory not allocated; the clipboard is then left as it was.
bool copyTextToClipboard(HWND owner, std::string_view text);

}  // namespace quenlet
