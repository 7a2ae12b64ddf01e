#include "ui/receive_view_layout.h"

#include <algorithm>

namespace quenlet {
namespace {

bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

}  // namespace

TextLayout::TextLayout() { lineStarts_.push_back(0); }

std::size_t TextLayout::lineContentEnd(std::size_t line) const {
    const std::size_t start = lineStarts_[line];
    if (line + 1 < lineStarts_.size()) {
        std::size_t end = lineStarts_[line + 1];
        // A line that ends in LF ends there because of it; a wrapped line never ends in LF.
        if (end > start && text_[end - 1] == '\n') {
            --end;
            while (end > start && text_[end - 1] == '\r') --end;
        }
        return end;
    }
    return heldCrStart_ != kNone ? heldCrStart_ : text_.size();
}

std::size_t TextLayout::lineOf(std::size_t position) const {
    // The last line whose start is at or before position.
    const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), position);
    return static_cast<std::size_t>(after - lineStarts_.begin()) - 1;
}

void TextLayout::setGeometry(const GlyphAdvances& advances, int wrapWidth) {
    advances_ = advances;
    // A zero advance would let one line swallow any amount of text.
    for (int& width : advances_.width) width = std::max(width, 1);
    advances_.tabStop = std::max(advances_.tabStop, 1);
    wrapWidth_ = std::max(wrapWidth, 1);
    lastBreakWork_ = 0;
    restartAtLine(0);
    breakLines();
}

void TextLayout::replace(std::size_t begin, std::size_t end, std::string_view inserted) {
    begin = std::min(begin, text_.size());
    end = std::clamp(end, begin, text_.size());
    lastBreakWork_ = 0;
    if (begin == text_.size()) {
        text_.append(inserted);
    } else {
        // Lines before the one holding begin can depend on it only through the character that made
        // the line before it overflow, and that one lies on the line just before.
        const std::size_t line = lineOf(begin);
        text_.replace(begin, end - begin, inserted);
        restartAtLine(line >= 2 ? line - 2 : 0);
    }
    breakLines();
}

void TextLayout::assign(std::string_view text) {
    std::string(text).swap(text_);
    std::vector<std::uint32_t>{0}.swap(lineStarts_);
    lastBreakWork_ = 0;
    restartAtLine(0);
    breakLines();
}

void TextLayout::restartAtLine(std::size_t line) {
    lineStarts_.resize(line + 1);
    scanPosition_ = lineStarts_[line];
    lineWidth_ = 0;
    lastBreak_ = kNone;
    hanging_ = false;
    heldCrStart_ = kNone;
    ordinaryCrEnd_ = scanPosition_;
}

void TextLayout::startLine(std::size_t position) {
    lineStarts_.push_back(static_cast<std::uint32_t>(position));
    lineWidth_ = 0;
    lastBreak_ = kNone;
    hanging_ = false;
}

void TextLayout::breakLines() {
    const std::size_t end = text_.size();
    std::size_t pos = scanPosition_;
    while (pos < end) {
        ++lastBreakWork_;
        const unsigned char c = static_cast<unsigned char>(text_[pos]);
        if (c == '\r' && pos >= ordinaryCrEnd_) {
            // Whether this CR belongs to a line break is known only at the first non-CR after it.
            if (heldCrStart_ == kNone) heldCrStart_ = pos;
            ++pos;
            continue;
        }
        if (c == '\n') {
            heldCrStart_ = kNone;
            ++pos;
            startLine(pos);
            continue;
        }
        if (heldCrStart_ != kNone) {
            // The held CRs are ordinary characters after all: measure them now.
            ordinaryCrEnd_ = pos;
            pos = heldCrStart_;
            heldCrStart_ = kNone;
            continue;
        }
        if (hanging_) {
            if (isBlank(c)) {
                ++pos;
                continue;
            }
            startLine(pos);
        }
        const int width = advances_.advance(c, lineWidth_);
        if (lineWidth_ + width > wrapWidth_ && pos > lineStarts_.back()) {
            if (isBlank(c)) {
                hanging_ = true;
                ++pos;
            } else if (lastBreak_ != kNone) {
                // Move the word that does not fit to a new line and measure it there.
                pos = lastBreak_;
                startLine(pos);
            } else {
                startLine(pos);
            }
            continue;
        }
        lineWidth_ += width;
        ++pos;
        if (isBlank(c)) lastBreak_ = pos;
    }
    scanPosition_ = pos;
}

}  // namespace quenlet
