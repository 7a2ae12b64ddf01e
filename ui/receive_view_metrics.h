// What the receive view needs to know about its font: how far each byte value advances the pen
// and how tall a line is.
#pragma once

#include <windows.h>

#include "ui/receive_view_layout.h"

namespace quenlet {

struct FontMetrics {
    GlyphAdvances advances;
    int lineHeight = 1;
};

// Measures font (the DC's default font when null) on window's DC. The advances are those of the
// ANSI code page's 256 characters, the tab stop eight average characters apart, as in an edit box.
FontMetrics measureFont(HWND window, HFONT font);

}  // namespace quenlet
