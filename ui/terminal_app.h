// The application object: runs the main window as a modal dialog and ends the process when its
// loop ends.
#pragma once

#include "framework/application.h"

namespace quenlet {

class TerminalApp : public Application {
public:
    // Runs the whole program; returns FALSE so that no further message loop runs.
    BOOL InitInstance() override;
};

}  // namespace quenlet
