// The program's one window: the receive and send boxes, the status line, the loop controls and
// the Send button, under a menu and a toolbar. It filters input before the dialog machinery sees
// it, turns every command into a call on the PortController or a settings change, and ends the
// program.
#pragma once

#include <windows.h>

#include <memory>

#include "core/port_controller.h"
#include "framework/dialog.h"
#include "framework/message_table.h"
#include "ui/file_name_dialog.h"

namespace quenlet {

class MainDialog : public Dialog {
public:
    MainDialog();
    ~MainDialog() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* message) override;

    // The full display refresh; the settings dialogs call it before they close with OK.
    void RefreshDisplay();
    FileNameDialog& fileNameDialog() { return fileDialog; }
    PortController* portController() { return controller.get(); }

    void OnExit();
    // After the modal loop: ends the controller's workers within the exit's bound. False when one
    // is still stuck in a device call (destroying this dialog would then wait for it).
    bool endWorkers();
    void OnPortOpen();
    void OnPortClose();
    void OnPortSettings();
    void OnPortStatus();
    void OnSendSettings();
    void OnReceiveSettings();
    void OnAlwaysOnTop();
    void OnAbout();
    void OnClearReceive();
    void OnSendAscii();
    void OnSendHex();
    void OnReceiveAscii();
    void OnReceiveHex();
    void OnSend();
    void OnLoops();

private:
    void OnPaint();
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    void OnSysCommand(UINT code);
    void OnTimer(UINT timerId);
    LRESULT OnDeviceChange(WPARAM event, LPARAM data);
    BOOL OnToolTipText(NMHDR* header, LRESULT* result);
    bool filterKeyDown(const MSG& message);

    HICON icon;
    std::unique_ptr<PortController> controller;
    FileNameDialog fileDialog;

    QUENLET_MESSAGE_TABLE(MainDialog)
};

}  // namespace quenlet
