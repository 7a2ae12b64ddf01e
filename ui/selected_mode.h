// The mode a settings dialog's three radio buttons stand for: the first two are tested in order
// and the third counts as chosen when neither of them is checked.
#pragma once

#include "framework/dialog.h"

namespace quenlet {

// Mode is SendMode or ReceiveMode: both number Ascii 0 and Hex 1, the file mode third.
template <class Mode>
Mode SelectedMode(const Dialog& dialog, int asciiButton, int hexButton, Mode fileMode) {
    if (dialog.isChecked(asciiButton)) return Mode::Ascii;
    if (dialog.isChecked(hexButton)) return Mode::Hex;
    return fileMode;
}

}  // namespace quenlet
