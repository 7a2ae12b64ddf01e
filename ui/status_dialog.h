// The small modeless tool window showing the modem input lines and the driver's hold flags as
// check boxes. Display only: clicks and Enter are swallowed. Setters may be called from any
// thread; they reach the window thread by SendMessage.
#pragma once

#include "framework/dialog.h"
#include "framework/message_table.h"

namespace quenlet {

class StatusDialog : public Dialog {
public:
    StatusDialog();
    ~StatusDialog() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* message) override;

    void SetCts(int state);
    void SetDsr(int state);
    void SetRing(int state);
    void SetRlsd(int state);
    void SetCtsHold(int state);
    void SetDsrHold(int state);
    void SetRlsdHold(int state);
    void SetXoffHold(int state);
    void SetXoffSent(int state);
    void SetEofReceived(int state);

    void SetTitle(const char* title);
    // Places the window 10 pixels right of and below the owner's top-left corner, captions it with
    // the port name and shows it.
    void ShowNearOwner();

private:
    void setBox(int id, int state);

    QUENLET_MESSAGE_TABLE(StatusDialog)
};

}  // namespace quenlet
