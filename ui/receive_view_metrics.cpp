#include "ui/receive_view_metrics.h"

#include <algorithm>

#include "ui/receive_view_gdi.h"

namespace quenlet {

FontMetrics measureFont(HWND window, HFONT font) {
    FontMetrics metrics;
    const WindowDc dc(window);
    if (dc.get() == nullptr) return metrics;
    const ObjectSelection selected(dc.get(), font);

    TEXTMETRICA text{};
    if (GetTextMetricsA(dc.get(), &text)) {
        metrics.lineHeight = std::max<int>(text.tmHeight, 1);
        metrics.advances.tabStop = std::max<int>(8 * text.tmAveCharWidth, 1);
    }
    auto& widths = metrics.advances.width;
    static_assert(sizeof(widths[0]) == sizeof(INT));
    if (!GetCharWidth32A(dc.get(), 0, 255, reinterpret_cast<INT*>(widths.data()))) {
        // Raster fonts on old systems: measure one character at a time.
        for (int c = 0; c < 256; ++c) {
            const char glyph = static_cast<char>(c);
            SIZE size{};
            widths[c] = GetTextExtentPoint32A(dc.get(), &glyph, 1, &size) ? size.cx : 0;
        }
    }
    return metrics;
}

}  // namespace quenlet
