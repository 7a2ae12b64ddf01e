#include "ui/terminal_app.h"

#include "framework/com_apartment.h"
#include "framework/message_pump.h"
#include "ui/main_dialog.h"
#include "ui/receive_view.h"

namespace quenlet {

BOOL TerminalApp::InitInstance() {
    // The main template's receive box is a window class of our own.
    if (!registerReceiveViewClass(instance())) return FALSE;
    // Screen readers get the receive box's accessible object through COM, from this thread.
    const ComApartment apartment;
    {
        MainDialog mainDialog;
        setMainWindow(&mainDialog);
        mainDialog.DoModal();
        setMainWindow(nullptr);
        // Exit ends the process within a bound. A worker still inside a device call that ignores
        // cancellation cannot be waited for, nor the controller destroyed under it: the process
        // ends here, with it. Nothing is lost: the capture file is flushed chunk by chunk.
        if (!mainDialog.endWorkers()) ExitProcess(static_cast<UINT>(lastQuitCode()));
    }
    return FALSE;
}

}  // namespace quenlet
