#include "framework/toolbar_resource.h"

#include <cstring>

namespace quenlet {
namespace {

constexpr WORD kSupportedVersion = 1;
constexpr size_t kHeaderWords = 4;

}  // namespace

std::optional<ToolBarLayout> parseToolBarResource(const void* data, size_t size) {
    if (data == nullptr || size < kHeaderWords * sizeof(WORD)) return std::nullopt;
    const auto wordAt = [data](size_t index) {
        WORD word;
        std::memcpy(&word, static_cast<const BYTE*>(data) + index * sizeof(WORD), sizeof(word));
        return word;
    };
    if (wordAt(0) != kSupportedVersion) return std::nullopt;
    const size_t count = wordAt(3);
    if (size < (kHeaderWords + count) * sizeof(WORD)) return std::nullopt;

    ToolBarLayout layout{{wordAt(1), wordAt(2)}, {}};
    layout.commandIds.reserve(count);
    for (size_t item = 0; item < count; ++item) layout.commandIds.push_back(wordAt(kHeaderWords + item));
    return layout;
}

std::optional<ToolBarLayout> loadToolBarResource(HINSTANCE module, UINT id) {
    const HRSRC resource =
        FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(kToolBarResourceType));
    if (resource == nullptr) return std::nullopt;
    const HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) return std::nullopt;
    return parseToolBarResource(LockResource(loaded), SizeofResource(module, resource));
}

const ToolBarStrip& chooseToolBarStrip(std::span<const ToolBarStrip> strips, int dpi) {
    const ToolBarStrip* chosen = &strips.front();
    for (const ToolBarStrip& strip : strips) {
        if (strip.dpi <= dpi) chosen = &strip;
    }
    return *chosen;
}

}  // namespace quenlet
