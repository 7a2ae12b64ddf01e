#include "framework/toolbar_borders.h"

namespace quenlet {
namespace {

// The gripper: a raised bar this wide, this far from the window's left, top and bottom edges
// (the bottom border not counted), and as far again from the first button.
constexpr int kGripperWidth = 3;
constexpr int kGripperMargin = 2;
// An etched line: a shadow line over a highlight line.
constexpr int kEtchedLineHeight = 2;

}  // namespace

RECT toolBarBorderInsets(DWORD borders) {
    RECT insets{};
    if (borders & kBarGripper) insets.left = kGripperMargin + kGripperWidth + kGripperMargin;
    if (borders & kBarBorderBottom) insets.bottom = kEtchedLineHeight;
    return insets;
}

void drawToolBarBorders(HDC dc, SIZE windowSize, DWORD borders) {
    const RECT insets = toolBarBorderInsets(borders);
    // Nothing else paints the non-client strips: they get the bar's face colour first.
    const HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    if (insets.left > 0) {
        const RECT strip{0, 0, insets.left, windowSize.cy};
        FillRect(dc, &strip, face);
    }
    if (insets.bottom > 0) {
        const RECT strip{0, windowSize.cy - insets.bottom, windowSize.cx, windowSize.cy};
        FillRect(dc, &strip, face);
    }
    if (borders & kBarGripper) {
        RECT gripper{kGripperMargin, kGripperMargin, kGripperMargin + kGripperWidth,
                     windowSize.cy - insets.bottom - kGripperMargin};
        if (gripper.bottom > gripper.top) DrawEdge(dc, &gripper, BDR_RAISEDINNER, BF_RECT);
    }
    if (borders & kBarBorderBottom) {
        RECT bar{0, 0, windowSize.cx, windowSize.cy};
        DrawEdge(dc, &bar, EDGE_ETCHED, BF_BOTTOM);
    }
}

}  // namespace quenlet
