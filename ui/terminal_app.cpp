#include "ui/terminal_app.h"

#include "ui/main_dialog.h"
#include "ui/receive_view.h"

namespace quenlet {

BOOL TerminalApp::InitInstance() {
    // The main template's receive box is a window class of our own.
    if (!registerReceiveViewClass(instance())) return FALSE;
    {
        MainDialog mainDialog;
        setMainWindow(&mainDialog);
        mainDialog.DoModal();
        setMainWindow(nullptr);
    }
    return FALSE;
}

}  // namespace quenlet
