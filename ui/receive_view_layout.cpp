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
    lastDropWork_ = 0;
    restartAtLine(0);
    breakLines();
}

void TextLayout::replace(std::size_t begin, std::size_t end, std::string_view inserted) {
    begin = std::min(begin, text_.size());
    end = std::clamp(end, begin, text_.size());
    lastBreakWork_ = 0;
    lastDropWork_ = 0;
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
    lastDropWork_ = 0;
    restartAtLine(0);
    breakLines();
}

TextLayout::Dropped TextLayout::appendKeepingNewest(std::string_view inserted, std::size_t limit) {
    lastBreakWork_ = 0;
    lastDropWork_ = 0;
    // A drop takes about a sixteenth of the limit more than it must, so that the text behind the
    // cut moves only once per that much new text. The buffer then has room for the appends until
    // the next drop.
    const std::size_t slack = std::max<std::size_t>(limit / 16, 1);
    const std::size_t room = limit + slack;
    const std::size_t oldLength = text_.size();
    if (oldLength + inserted.size() <= limit) {
        reserveWithin(oldLength + inserted.size(), room);
        text_.append(inserted);
        breakLines();
        return {};
    }
    std::size_t least = 0;  // characters that must go from the front
    std::size_t droppedBefore = 0;
    if (inserted.size() >= limit) {
        // Nothing of the old text stays. The newest part starts where it happens to, perhaps inside
        // a line or a hex group, so that start is no place for the kept text to begin either.
        const std::string_view newest = inserted.substr(inserted.size() - limit);
        droppedBefore = oldLength + inserted.size() - newest.size();
        text_.clear();
        reserveWithin(newest.size(), room);
        text_.append(newest);
        lineStarts_.assign(1, 0);
        restartAtLine(0);
        breakLines();
        least = 1;
    } else {
        reserveWithin(oldLength + inserted.size(), room);
        text_.append(inserted);
        breakLines();
        least = text_.size() - limit;
    }

    const std::size_t line = chooseCutLine(least, slack);
    if (line != kNone) {
        const std::size_t cut = lineStarts_[line];
        dropLinesBefore(line, room);
        return {droppedBefore + cut, false};
    }
    // One display line runs across the whole stretch (blanks hanging past the edge, or CRs): cut
    // inside it and break what is left anew, which happens at most once per slack characters.
    const std::size_t cut = std::min(least + slack, text_.size());
    dropText(cut, room);
    lineStarts_.assign(1, 0);
    restartAtLine(0);
    breakLines();
    return {droppedBefore + cut, true};
}

// Grows the text's buffer for length characters: doubling as usual, but not past room, where a
// kept text stops growing.
void TextLayout::reserveWithin(std::size_t length, std::size_t room) {
    if (length <= text_.capacity()) return;
    std::string grown;
    grown.reserve(std::max(length, std::min(2 * text_.capacity(), room)));
    grown.append(text_);
    text_.swap(grown);
}

// Drops the first cut characters. A buffer larger than room (grown before the text was kept within
// a limit) is given back, for the same cost as moving the text within it.
void TextLayout::dropText(std::size_t cut, std::size_t room) {
    if (text_.capacity() > std::max(room, text_.size())) {
        std::string kept;
        kept.reserve(std::max(room, text_.size() - cut));
        kept.append(text_, cut, std::string::npos);
        text_.swap(kept);
    } else {
        text_.erase(0, cut);
    }
    lastDropWork_ += text_.size();
}

// The display line at which the kept text is to start: at least least characters in, as near as
// possible to least + slack, after a line feed if one is within slack of that, else after a blank,
// else any; kNone when no display line starts there.
std::size_t TextLayout::chooseCutLine(std::size_t least, std::size_t slack) {
    const std::size_t aim = least + slack;
    const std::size_t last = std::min(aim + slack, text_.size());
    const auto distance = [aim](std::size_t position) { return position > aim ? position - aim : aim - position; };
    std::size_t best[3] = {kNone, kNone, kNone};  // after a line feed, after a blank, after anything else
    const auto first = std::lower_bound(lineStarts_.begin() + 1, lineStarts_.end(), least);
    for (auto start = first; start != lineStarts_.end() && *start <= last; ++start) {
        ++lastDropWork_;
        const auto before = static_cast<unsigned char>(text_[*start - 1]);
        const int kind = before == '\n' ? 0 : isBlank(before) ? 1 : 2;
        const auto line = static_cast<std::size_t>(start - lineStarts_.begin());
        if (best[kind] == kNone || distance(*start) < distance(lineStarts_[best[kind]])) best[kind] = line;
        if (kind == 0 && *start >= aim) break;  // any later line feed is farther from the aim
    }
    for (const std::size_t line : best)
        if (line != kNone) return line;
    return kNone;
}

// Drops the text before the given display line. Lines are broken greedily from their start, so
// every line from there on stays as it is: the table and the scan's positions only shift.
void TextLayout::dropLinesBefore(std::size_t line, std::size_t room) {
    const std::size_t cut = lineStarts_[line];
    dropText(cut, room);
    lineStarts_.erase(lineStarts_.begin(), lineStarts_.begin() + static_cast<std::ptrdiff_t>(line));
    for (std::uint32_t& start : lineStarts_) start -= static_cast<std::uint32_t>(cut);
    lastDropWork_ += lineStarts_.size();
    // The scan stands on the last line, which starts at or after the cut.
    scanPosition_ -= cut;
    if (lastBreak_ != kNone) lastBreak_ -= cut;
    if (heldCrStart_ != kNone) heldCrStart_ -= cut;
    ordinaryCrEnd_ = ordinaryCrEnd_ > cut ? ordinaryCrEnd_ - cut : 0;
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
