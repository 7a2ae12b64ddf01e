// The receive view's text and its division into display lines. Text only ever grows at the end
// while data arrives, so line breaking is a resumable scan: an append continues where the last one
// stopped and never looks at the text before the current display line. A text kept within a limit
// loses its oldest lines from the front, which shifts the lines after the cut without breaking
// them again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenlet {

// Horizontal advances, in pixels, of the 256 byte values in the view's font.
struct GlyphAdvances {
    std::array<int, 256> width{};
    int tabStop = 1;  // distance between tab stops; tabs advance to the next multiple

    int advance(unsigned char c, int x) const {
        if (c == '\t') return tabStop - x % tabStop;
        return width[c];
    }
};

// Line-breaking rules, those of a read-only edit box:
//  - LF ends a line; CRs directly before it belong to the break and are not shown. A lone LF thus
//    starts a new line too (as Wine's edit box shows it), which suits devices that send LF only.
//  - A CR not followed by LF is an ordinary character, drawn as the font draws it. CRs at the very
//    end of the text may still turn out to precede an LF, so they take no room until that is known.
//  - A line wraps before the first character that would cross the width: after its last space or
//    tab if it has one, else before that character (a word longer than the line is split). Spaces
//    and tabs that cross the width hang past it on their line. Every line holds at least one
//    character, however narrow the width.
class TextLayout {
public:
    TextLayout();

    const std::string& text() const { return text_; }
    std::size_t length() const { return text_.size(); }

    // Always at least 1: an empty text, and a text ending in a line break, end with an empty line.
    std::size_t lineCount() const { return lineStarts_.size(); }
    std::size_t lineStart(std::size_t line) const { return lineStarts_[line]; }
    // Where the line's visible characters end: before its line break and any CRs held back.
    std::size_t lineContentEnd(std::size_t line) const;
    // The display line that shows the character at position (the last line for the text's end).
    std::size_t lineOf(std::size_t position) const;

    // New font or width: every line is broken again.
    void setGeometry(const GlyphAdvances& advances, int wrapWidth);

    // Replaces [begin, end) with inserted. At the text's end the cost is that of the inserted text;
    // elsewhere the lines from the change on are broken again.
    void replace(std::size_t begin, std::size_t end, std::string_view inserted);
    // Replaces everything, giving back the memory a long text held.
    void assign(std::string_view text);

    // What appendKeepingNewest took from the front: positions after it are the old ones less
    // characters (an old position below that is gone).
    struct Dropped {
        std::size_t characters = 0;
        // No display-line start was near the cut, so the lines were broken again from the new
        // start; otherwise every kept line is the line it was.
        bool linesBrokenAgain = false;
    };

    // Appends inserted. When the text would then pass limit, the oldest text goes instead: the cut
    // falls at a display-line start, preferably one after a line feed, else one after a blank (the
    // end of a hex group), and takes about a sixteenth of the limit more than needed, so that the
    // text behind the cut moves only once per that much new text. An inserted text longer than
    // the limit keeps its newest part. The text never holds more than limit characters afterwards,
    // and its buffer no more than that sixteenth beyond the limit (or one append, if larger).
    Dropped appendKeepingNewest(std::string_view inserted, std::size_t limit);

    // Characters the line breaking examined during the last change: a measure of its cost.
    std::size_t lastBreakWork() const { return lastBreakWork_; }
    // Characters and line starts the last change moved, and line starts it looked at, to drop the
    // oldest text: the rest of its cost.
    std::size_t lastDropWork() const { return lastDropWork_; }

    // Memory held: characters the text's buffer has room for, line starts the table has room for.
    std::size_t textCapacity() const { return text_.capacity(); }
    std::size_t lineTableCapacity() const { return lineStarts_.capacity(); }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    void restartAtLine(std::size_t line);
    void breakLines();
    void startLine(std::size_t position);
    void reserveWithin(std::size_t length, std::size_t room);
    std::size_t chooseCutLine(std::size_t least, std::size_t slack);
    void dropText(std::size_t cut, std::size_t room);
    void dropLinesBefore(std::size_t line, std::size_t room);

    std::string text_;
    std::vector<std::uint32_t> lineStarts_;
    GlyphAdvances advances_;
    int wrapWidth_ = 1;

    // Where the scan stopped; it resumes there when text is appended.
    std::size_t scanPosition_ = 0;
    int lineWidth_ = 0;                 // pixels used by the current line up to scanPosition_
    std::size_t lastBreak_ = kNone;     // position after the current line's last space or tab
    bool hanging_ = false;              // the current line is full and only takes spaces and tabs
    std::size_t heldCrStart_ = kNone;   // CRs from here to scanPosition_ wait for what follows
    std::size_t ordinaryCrEnd_ = 0;     // CRs before this position are known to be ordinary

    std::size_t lastBreakWork_ = 0;
    std::size_t lastDropWork_ = 0;
};

}  // namespace quenlet
