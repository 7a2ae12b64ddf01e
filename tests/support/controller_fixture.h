// A PortController on a real main-window template, talking to the virtual null-modem, with
// message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/device_faults.h"
#include "core/port_controller.h"
#include "framework/dialog.h"
#include "framework/message_table.h"
#include "support/null_modem.h"
#include "support/window_pump.h"

namespace quenlet::test {

// The main window's template without the main dialog's behaviour: the controller's host.
// Only the loop timer is passed on, as the main window does.
class HostDialog : public Dialog {
public:
    HostDialog();
    PortController* controller = nullptr;

private:
    void OnTimer(UINT) {
        if (controller != nullptr) controller->onTimer();
    }

    QUENLET_MESSAGE_TABLE(HostDialog)
};

// Reads the far end on its own thread and keeps everything that arrives.
class PeerCollector {
public:
    explicit PeerCollector(NullModemPeer& peer);
    ~PeerCollector();
    PeerCollector(const PeerCollector&) = delete;
    PeerCollector& operator=(const PeerCollector&) = delete;

    size_t size();
    std::vector<std::uint8_t> bytes();

private:
    static DWORD WINAPI run(void* self);
    NullModemPeer& peer_;
    CriticalSection lock_;
    std::vector<std::uint8_t> received_;
    std::atomic<bool> stop_{false};
    UniqueHandle thread_;
};

// Asks a window for a round trip (WM_NULL) from another thread every few milliseconds, and keeps
// the longest wait for its answer: how long the window's thread was held by anything it did.
class ResponsivenessProbe {
public:
    explicit ResponsivenessProbe(HWND window);
    ~ResponsivenessProbe();
    ResponsivenessProbe(const ResponsivenessProbe&) = delete;
    ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

    double longestMs() const { return longestMs_; }
    int answers() const { return answers_; }

private:
    static DWORD WINAPI run(void* self);
    HWND window_;
    std::atomic<double> longestMs_{0};
    std::atomic<int> answers_{0};
    std::atomic<bool> stop_{false};
    UniqueHandle thread_;
};

// While it lives, the serial device gives answer in place of its own for call, times times (-1:
// every time), through the device's test seam (core/device_faults.h); further answers for other
// calls can be added and withdrawn. One at a time in a process.
class InjectedFaults {
public:
    InjectedFaults(DeviceCall call, InjectedAnswer answer, int times);
    ~InjectedFaults();
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;

    void add(DeviceCall call, InjectedAnswer answer, int times);
    // The device answers call itself again.
    void withdraw(DeviceCall call);
    // How many times the answer for call (the first one, by default) was given.
    int used() const { return used(first_); }
    int used(DeviceCall call) const;

private:
    InjectedAnswer answer(DeviceCall call);
    struct Rule {
        DeviceCall call;
        InjectedAnswer answer;
        int times;
        int used = 0;
    };
    DeviceCall first_;
    mutable CriticalSection lock_;
    std::vector<Rule> rules_;
};

// Counts the messages of one kind that a control receives, by subclassing it.
class MessageCounter {
public:
    MessageCounter(HWND window, UINT message);
    ~MessageCounter();
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;

    int count() const { return count_; }
    // lParam strings of the counted messages (for EM_REPLACESEL and WM_SETTEXT), in order.
    const std::vector<std::string>& texts() const { return texts_; }

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_;
    UINT message_;
    WNDPROC original_;
    std::atomic<int> count_{0};
    std::vector<std::string> texts_;
};

// A file in the temporary folder, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::vector<std::uint8_t>& contents);
    TempFile();  // a name only; nothing created
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    std::vector<std::uint8_t> contents() const;

private:
    std::string path_;
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string itemText(int id) const;
    void setItemText(int id, const char* text) const;
    bool isEnabled(int id) const;
    bool isChecked(int id) const;
    // Message boxes may be raised on the sender thread: these read the record under its lock.
    std::vector<std::string> recordedMessages();
    size_t messageCount();
    // Opens the port and waits until the monitor runs; fails the test otherwise.
    void openPort();
    // Sends text in a loop every interval (the box's text, in ms), as the user starts one.
    void startLoop(const char* text, const char* interval);
    // Pumps until the send has got bytes out and its count has then stood still for quiet (the
    // device holds the flow), at most limit; false past the limit. stoodAt is the count it stood at.
    bool pumpUntilSendStalls(std::chrono::milliseconds quiet, std::chrono::milliseconds limit,
                             std::int64_t& stoodAt);
    // Files that the controller may still hold open at the end of the test body: they are removed
    // in TearDown, after the controller is gone.
    const TempFile& newTempFile(const std::vector<std::uint8_t>& contents);
    const TempFile& newTempName();

    NullModemPeer peer;
    std::unique_ptr<HostDialog> host;
    std::unique_ptr<PortController> controller;
    // Written by whichever thread shows a box; read it on the window thread only while no worker
    // can show one, or use recordedMessages().
    std::vector<std::string> messages;

private:
    CriticalSection messagesLock_;
    std::vector<std::unique_ptr<TempFile>> tempFiles_;
};

}  // namespace quenlet::test
