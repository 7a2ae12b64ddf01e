#include "framework/screen_dpi.h"

#include <windows.h>

namespace quenlet {

int systemDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) return kStandardDpi;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kStandardDpi;
}

}  // namespace quenlet
