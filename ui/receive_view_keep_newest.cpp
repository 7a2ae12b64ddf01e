// Keeping the newest text (kReceiveViewKeepNewest): appends at the end that drop the oldest text
// rather than refuse the new, and that leave the user's selection and view where they are.
#include <algorithm>

#include "ui/receive_view_control.h"

namespace quenlet {

std::size_t ReceiveViewControl::shownSelectionStart() const {
    return selectionSetAside_ ? std::min(setAsideAnchor_, setAsideCaret_) : selectionStart();
}

std::size_t ReceiveViewControl::shownSelectionEnd() const {
    return selectionSetAside_ ? std::max(setAsideAnchor_, setAsideCaret_) : selectionEnd();
}

// An append starts with EM_SETSEL to the end, which would lose what the user selected a moment
// ago. A selection the user made is set aside, still drawn, for the EM_REPLACESEL that follows to
// put back; a selection the program made goes as in an edit box.
void ReceiveViewControl::setAsideUserSelection() {
    const std::size_t end = layout_.length();
    if (selectionSetAside_) return;  // already at the end, the user's selection aside
    if (!selectionByUser_ || (anchor_ == end && caret_ == end)) {
        setSelection(end, end);
        selectionByUser_ = false;
        return;
    }
    selectionSetAside_ = true;
    setAsideAnchor_ = anchor_;
    setAsideCaret_ = caret_;
    anchor_ = caret_ = end;  // nothing to redraw: the user's selection is what is drawn
}

// Something other than the append came after its EM_SETSEL: that selection stands, and the one
// set aside is given up.
void ReceiveViewControl::dropSetAsideSelection() {
    if (!selectionSetAside_) return;
    selectionSetAside_ = false;
    selectionByUser_ = false;
    if (setAsideAnchor_ != setAsideCaret_)
        invalidateLines(layout_.lineOf(std::min(setAsideAnchor_, setAsideCaret_)),
                        layout_.lineOf(std::max(setAsideAnchor_, setAsideCaret_)));
}

void ReceiveViewControl::appendKeepingNewest(std::string_view inserted) {
    const std::size_t oldLength = layout_.length();
    const std::size_t lastLineStart = layout_.lineStart(layout_.lineCount() - 1);
    const std::size_t topCharacter = layout_.lineStart(firstLine_);
    const bool endWasInView = endInView();
    const bool userSelection = selectionSetAside_;
    const std::size_t anchor = userSelection ? setAsideAnchor_ : oldLength;
    const std::size_t caret = userSelection ? setAsideCaret_ : oldLength;
    selectionSetAside_ = false;

    pacingRepaints_ = true;
    const TextLayout::Dropped dropped = layout_.appendKeepingNewest(inserted, limit_);
    diagnostics_.charactersExaminedByLastChange = layout_.lastBreakWork();
    diagnostics_.dropWorkByLastChange = layout_.lastDropWork();
    // Where a position of the old text is now; text that was dropped is gone, and what pointed
    // into it points at the start.
    const auto kept = [&](std::size_t position) {
        return position > dropped.characters ? position - dropped.characters : std::size_t{0};
    };

    // The view stays on the line it showed at its top. Unless that line was dropped or the lines
    // were broken anew, the lines it shows are the ones it showed, and only the appended text is
    // new on screen.
    firstLine_ = std::min(layout_.lineOf(kept(topCharacter)), lastFirstLine());
    if (dropped.linesBrokenAgain || topCharacter < dropped.characters || lastLineStart < dropped.characters)
        invalidate(nullptr);
    else
        invalidateFromLine(layout_.lineOf(lastLineStart - dropped.characters));

    if (userSelection) {
        anchor_ = kept(anchor);
        caret_ = kept(caret);
    } else {
        anchor_ = caret_ = layout_.length();
        selectionByUser_ = false;
    }
    // The view follows the new text only when the user was watching the end and is not selecting.
    if (endWasInView && !dragging_ && anchor_ == caret_) scrollEndIntoView(ScrollBarRedraw::soon);
    updateScrollBar(ScrollBarRedraw::soon);
    pacingRepaints_ = false;
    valueChanges_.textChanged();
    notifyParent(EN_UPDATE);
    notifyParent(EN_CHANGE);
}

}  // namespace quenlet
