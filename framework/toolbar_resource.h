// The TOOLBAR resource (type 241): WORD version (1), image width, image height, item count, then
// one command id per item from left to right, 0 for a separator.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace quenlet {

constexpr WORD kToolBarResourceType = 241;

struct ToolBarLayout {
    SIZE imageSize;
    std::vector<UINT> commandIds;
};

// Reads the layout from the resource's bytes; nothing when they are not a version-1 table.
std::optional<ToolBarLayout> parseToolBarResource(const void* data, size_t size);

// Finds and reads the TOOLBAR resource id of module.
std::optional<ToolBarLayout> loadToolBarResource(HINSTANCE module, UINT id);

// One bitmap of a toolbar's images, drawn for screens of one DPI (96 = 100 %).
struct ToolBarStrip {
    int dpi;
    UINT bitmapId;
    SIZE imageSize;
};

// The strip for a screen of dpi: the one drawn for the largest DPI not above it, so that images
// are never shown larger than the text beside them; the first below them all. strips is in
// increasing DPI and not empty.
const ToolBarStrip& chooseToolBarStrip(std::span<const ToolBarStrip> strips, int dpi);

}  // namespace quenlet
