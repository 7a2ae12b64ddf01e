// The screen's scale as the program sees it. The manifest declares the program system DPI aware:
// Windows then fixes one DPI for it at start-up (96 at 100 %, 144 at 150 %, 192 at 200 %), grows
// its dialogs with their fonts and leaves what it draws in pixels, such as toolbar images, to it.
#pragma once

namespace quenlet {

// 100 %: the DPI that pixel sizes in code and resources are given for.
inline constexpr int kStandardDpi = 96;

// The system DPI: what GetDeviceCaps(LOGPIXELSY) reports for the screen, on every Windows from 7
// on (GetDpiForSystem, from Windows 10, says the same for a system-aware program).
int systemDpi();

// pixels, given for kStandardDpi, at dpi: rounded to the nearest pixel, halves up.
constexpr int scaledToDpi(int pixels, int dpi) { return (pixels * dpi + kStandardDpi / 2) / kStandardDpi; }

}  // namespace quenlet
