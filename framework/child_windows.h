// The child windows of a dialog, found by id. Looking one up walks the dialog's children, which on
// some systems is a round trip to the window server; the controls stay for the dialog's lifetime,
// so a found handle is kept and used again while it is still that dialog's child with that id.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/handles.h"

namespace quenlet {

class ChildWindows {
public:
    ChildWindows() = default;
    ChildWindows(const ChildWindows&) = delete;
    ChildWindows& operator=(const ChildWindows&) = delete;

    // The child of parent whose id is id, or null. Any thread.
    HWND find(HWND parent, int id);
    // Forgets every kept handle: the dialog's window was created or destroyed.
    void forget();

private:
    struct Known {
        HWND parent;
        int id;
        HWND window;
    };

    CriticalSection lock_;
    std::vector<Known> known_;
};

}  // namespace quenlet
