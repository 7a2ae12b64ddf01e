// Where a file dialog's frame goes: centred in the rectangle from the screen origin to the work
// area's right and bottom edges. The work area's left and top edges are deliberately left out, so
// with a taskbar on the left or top the frame sits slightly towards it.
#pragma once

#include <windows.h>

namespace quenlet {

// Top-left corner for `frame` (its size is kept). Signed division, truncating toward zero.
POINT centredFrameOrigin(const RECT& frame, const RECT& workArea);

// Moves the frame of a file dialog there; `hookWindow` is the child window the hook runs for.
void centreFileDialogFrame(HWND hookWindow);

}  // namespace quenlet
