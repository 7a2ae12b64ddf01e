#include "ui/file_name_placement.h"

namespace quenlet {

POINT centredFrameOrigin(const RECT& frame, const RECT& workArea) {
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    return POINT{(workArea.right - width) / 2, (workArea.bottom - height) / 2};
}

void centreFileDialogFrame(HWND hookWindow) {
    const HWND frameWindow = GetParent(hookWindow);
    RECT frame{};
    RECT workArea{};
    GetWindowRect(frameWindow, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    const POINT origin = centredFrameOrigin(frame, workArea);
    MoveWindow(frameWindow, origin.x, origin.y, frame.right - frame.left, frame.bottom - frame.top,
               TRUE);
}

}  // namespace quenlet
