// The borders a control bar has around its buttons, drawn in the bar window's non-client area: a
// gripper along its left edge (a raised 3-D bar, the buttons start right of it) and an etched line
// along its bottom edge, setting it off from what lies below.
#pragma once

#include <windows.h>

namespace quenlet {

// Which borders a bar has (combine with |).
enum ToolBarBorder : DWORD {
    kNoBarBorders = 0,
    kBarGripper = 0x1,
    kBarBorderBottom = 0x2,
};

// The space the borders take from the window on each side (the client area lies inside it).
RECT toolBarBorderInsets(DWORD borders);

// Draws the borders into dc, whose origin is the top-left corner of a bar window of windowSize.
void drawToolBarBorders(HDC dc, SIZE windowSize, DWORD borders);

}  // namespace quenlet
