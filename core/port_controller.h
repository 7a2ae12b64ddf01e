// The object behind the main window: it owns the serial port, the status window, the toolbar, the
// capture file, the flags and counters, and two worker threads — the monitor, which watches comm
// events and reads, and the sender, which performs one send per wake-up.
//
// Its operations live in several files by concern: lifecycle and threads (core/), receive path
// (core/port_controller_receive.cpp), send path (transmit/), display refresh (ui/).
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture_file.h"
#include "core/line_timing.h"
#include "core/member_thunk.h"
#include "core/port_failure_policy.h"
#include "core/port_loss_ledger.h"
#include "core/port_notices.h"
#include "core/serial_port.h"
#include "framework/handles.h"
#include "framework/paced_text.h"
#include "framework/toolbar.h"
#include "settings/port_settings.h"
#include "core/send_session.h"
#include "ui/status_dialog.h"

namespace quenlet {

class Dialog;

class PortController {
public:
    static constexpr DWORD kEventMask = 505;  // RXCHAR CTS DSR RLSD BREAK ERR RING
    static constexpr DWORD kQueueSize = 10240;
    static constexpr DWORD kEventWaitMs = 100;
    static constexpr DWORD kReadChunk = 1023;
    // One read takes up to this many chunks: each is shown, captured and counted on its own, but
    // the device is read and the window thread reached once for all of them.
    static constexpr DWORD kChunksPerRead = 4;
    static constexpr DWORD kReadSize = kChunksPerRead * kReadChunk;
    // The first bytes after a quiet spell wait this long for the ones right behind them before
    // they are handed over, so that a device's reply shows in one piece.
    static constexpr DWORD kGatherMs = 10;
    // While bytes keep coming they are handed over this often: as often as the receive box
    // repaints while text streams in.
    static constexpr DWORD kHandOverIntervalMs = 90;
    static constexpr DWORD kClosePauseMs = 300;
    static constexpr DWORD kStopPauseMs = 1500;
    // At exit the refusal to close during a file send closes itself after this long: the program
    // ends within its bound whether or not anybody answers it.
    static constexpr DWORD kExitRefusalLimitMs = 1000;
    static constexpr UINT_PTR kLoopTimerId = 0;
    // While a lost port waits for its device, how often the device is tried again.
    static constexpr DWORD kReopenIntervalMs = 100;
    // While the window thread waits for a send to end, how often it cancels the send's write.
    static constexpr DWORD kCancelSliceMs = 50;

    // mainDialog must have its window: the status window is created owned by it.
    explicit PortController(Dialog* mainDialog);
    virtual ~PortController();
    PortController(const PortController&) = delete;
    PortController& operator=(const PortController&) = delete;

    // Lifecycle (window thread).
    void openPort();
    void closePort();
    // Tells both workers to end, and closes the message boxes the sender shows, which would hold
    // it. From here the workers get a bounded time to leave the device and end.
    void shutdown();
    // Shuts down and waits for both workers to end, within the bound counted from the first
    // shutdown. True once both have ended; false when one is still inside a device call that
    // ignores cancellation: the controller must then not be destroyed.
    bool endWorkers();
    void onSendButton();
    void onTimer();
    // The system says a port arrived (WM_DEVICECHANGE): a waiting port tries its device at once.
    void onDeviceArrival();
    static std::string formatSystemError(DWORD code);

    // Worker entries; each receives the controller as its first argument through its thunk.
    DWORD WINAPI monitorLoop(void* parameter);
    DWORD WINAPI senderLoop(void* parameter);

    // Receive path (monitor thread): the bytes of one read, at most kReadSize, handled as chunks
    // of at most kReadChunk bytes.
    void onReceive(const char* data, DWORD length);
    // Adds text at the end of the receive box in one step on the window thread (from any thread).
    void appendReceivedText(const char* text);

    // Send path (sender thread).
    void sendText();
    void sendHex();
    void sendFile();
    static std::string removeBlanks(std::string_view text);
    static bool isHexDigits(std::string_view text);
    bool isLoopChecked() const;

    // Display state (window thread, but refreshStatusLine from any thread).
    void createToolBar();
    void refreshDisplay();
    void refreshMenu();
    void refreshToolBar();
    void refreshEditBoxes();
    void refreshStatusLine();
    // What the status line says now.
    std::string statusLine() const;
    // The status line after a count changed (window thread): its text at once, its repaint paced.
    void refreshCounters();
    void refreshLoopControls();
    void refreshSendButton();
    void showContextMenu(HWND owner, UINT menuId, UINT trackFlags, int x, int y);
    bool isOpenButtonEnabled() const;
    bool isCloseButtonEnabled() const;
    bool isPortSettingsButtonEnabled() const;
    bool isSendAsciiButtonEnabled() const;
    bool isSendHexButtonEnabled() const;
    bool isReceiveAsciiButtonEnabled() const;
    bool isReceiveHexButtonEnabled() const;

    // State read by the main dialog and by tests.
    StatusDialog& status() { return statusDialog; }
    SerialPort& serialPort() { return port; }
    ToolBar& toolbar() { return toolBar; }
    bool isAlwaysOnTop() const { return alwaysOnTop != 0; }
    void toggleAlwaysOnTop() { alwaysOnTop = !alwaysOnTop; }
    bool isFileSending() const { return sends.fileSending(); }
    bool isLoopSending() const { return sends.loopSending(); }
    // A single send of the send box (text or hex) is under way.
    bool isBoxSending() const { return sends.boxSending(); }
    bool isSending() const { return sends.running(); }
    // The port waits for its lost device to return (the window offers Close).
    bool isWaitingForDevice() const { return losses.waiting(); }
    // How many times a waiting port tried its device again.
    long long reopenAttempts() const { return losses.attempts(); }
    // The port is open or waits for its device: Close is on offer, Open and the settings are not.
    bool isPortInUse() const { return losses.waiting() || port.isOpen(); }
    // Bytes can be sent: the port is open and its device there.
    bool canSend() const { return !losses.waiting() && port.isOpen(); }
    void clearLoopSending() { sends.endLoop(); }
    std::int64_t sentCount() const { return bytesSent; }
    std::int64_t receivedCount() const { return bytesReceived; }
    // How many times received bytes have been handed to the window (a measure of the receive
    // path's cost).
    std::int64_t handOverCount() const { return handOvers; }
    bool hasCaptureFile();
    // Window thread, when the receive settings are confirmed: a capture file that a failed write
    // closed is opened again by the refresh that follows.
    void retryCapture();
    // True once both workers have started and wait for work.
    bool workersStarted() const { return monitorThread.valid() && senderThread.valid(); }

private:
    // When the window thread cancels the port's I/O for workers it waits for, and when it gives up.
    struct WaitSchedule {
        ULONGLONG cancelAt = 0;
        ULONGLONG deadline = 0;
    };
    enum class WatchResult { Sleep, Exit, Watch };
    WatchResult watchPort(char* receiveBuffer);
    WatchResult awaitReturn();
    // False when the monitor is to stop watching (the device is gone, or a close is under way).
    bool receiveQueued(char* receiveBuffer, DWORD queued);
    // Quiet: waiting for bytes. Paced: bytes keep coming, handed over every kHandOverIntervalMs.
    // Flood: the last read was full; the next comes at once. Thinning: a flood's read was not
    // full; the next comes after kGatherMs.
    enum class ReceivePace { Quiet, Paced, Flood, Thinning };
    // After a pass that began at passStart and brought no byte (how it ended, with code): true when
    // watching goes on, after waiting out what the failure policy asks; a lost device is reported.
    bool followPass(PassEnd end, DWORD code, std::int64_t passStart, DWORD limitMs);
    // The driver's error flags: an overrun is told once per opening.
    void noteLineErrors(DWORD errors);
    // Hands the bytes read and not yet shown to the window.
    void handOverPending(char* receiveBuffer);
    bool handOverDue() const;
    void updateStatusBoxes(DWORD events, const COMSTAT& status);
    void setStatusBox(int box, int state);
    struct ReceivedChunk {
        std::string text;  // what the receive box shows of it
        DWORD length = 0;
    };
    // The chunk's display text, and its capture written.
    void prepareChunk(const char* bytes, ReceivedChunk& chunk);
    // Window thread only.
    void appendToReceiveBox(const char* text);
    // Window thread: waits until neither worker is inside a device call; false when one still is.
    bool waitForWorkersToLeavePort();
    // Waits until every one of signals is set, handling other threads' sent messages meanwhile.
    bool waitForWorkers(std::initializer_list<HANDLE> signals, const WaitSchedule& schedule);
    bool joinWorkers(const WaitSchedule& schedule);
    bool isEnding() const { return endSchedule.deadline != 0; }
    // Sender thread: a message box, during which the sender counts as out of the device.
    void showSenderMessage(const char* text);
    HWND item(int id) const;
    void writeCapture(const void* data, size_t size, size_t charsPerByte);
    // Window thread: opens the capture file anew; a failure is told unless a close is under way.
    void reopenCapture();
    void addSent(DWORD count);

    // The steps of a close once it is accepted (window thread).
    void closeAcceptedPort();
    // Window thread: both workers out of the device and the device closed; false (the device kept)
    // when a worker is still inside a device call.
    bool leaveDevice();
    // The device of openedLine, opened and set up (window thread, or the monitor while waiting).
    bool openDevice();
    // Window thread, asked by the monitor: the lost device is open again. False when a close or
    // the exit came first.
    bool onPortReturned();
    // Window thread: the lost device returned but refused what it took before: the wait ends.
    void onReopenRefused(DWORD code);
    // A failure the user must know of, from any thread: shown on the window thread, one box at a
    // time, without holding up the thread that found it.
    void postNotice(std::string text);
    // The device of the given opening failed with code (any thread): the window thread closes
    // the port and tells the user, once per opening.
    void reportPortLost(unsigned opening, DWORD code);
    void onPortLost(unsigned opening, DWORD code);

    // Writing a send's bytes.
    using SendEnd = SendSession::End;
    // A single send (the Send button) or one copy of a loop.
    enum class SendRun { Single, LoopCopy };
    // Window thread: the send box's bytes for mode (Ascii or Hex). False when there is nothing to
    // send: an empty box, or hex that is not digit pairs (the receive box then says so).
    bool takeBoxBytes(SendMode mode, std::vector<std::uint8_t>& bytes, SendProgress::Kind& kind);
    void sendBox(SendMode mode);
    void sendBytes(const std::uint8_t* data, size_t size, SendProgress::Kind kind);
    void sendLoopCopy();
    void endBoxSend();
    // Sender thread: writes on from the first byte the device has not taken until all are out,
    // the send is stopped, or a write fails with an error (the device is gone; reported). For a
    // single send a write that times out is the device holding the flow: it pauses the send, it
    // never skips bytes. For a loop copy it ends the loop (Stalled).
    SendEnd writeAll(const std::uint8_t* data, size_t size, unsigned opening, SendProgress& progress, SendRun run);
    bool sendStopped(SendProgress::Kind kind, SendRun run) const;
    // The most bytes a send's write carries: a write is not cancelled on every system (under Wine
    // a write already passing bytes to the line runs to its end), so none carries more line time
    // than Stop waits for.
    size_t writeChunk(size_t largest) const;
    // Window thread: pauses for durationMs while a send that was told to stop gets out of its
    // write, which is cancelled for it.
    void pauseEndingSend(DWORD durationMs);
    // The end of a send of the given opening: an unfinished one is told if the device was lost.
    bool onWindowThread() const { return GetCurrentThreadId() == windowThreadId; }

    // Declared in the order they are built; destroyed in reverse (port first, thunks last).
    MemberThunk monitorThunk;
    MemberThunk senderThunk;
    Dialog* const mainDialog;
    StatusDialog statusDialog;
    ToolBar toolBar;
    SerialPort port;

    CriticalSection captureLock;  // a capture write and the file's replacement never overlap
    CaptureFile captureFile;
    bool quietCaptureOpen = false;  // window thread: a close reopens the file only to close it
    bool captureHeld = false;       // a write failed: closed until retryCapture (captureLock)

    int alwaysOnTop = 0;
    SendSession sends;
    std::atomic<int> senderStop{0};
    std::atomic<int> monitorStop{0};
    std::atomic<int> senderExit{0};
    std::atomic<int> monitorExit{0};
    // Wide counters: a bench line runs past 2 GiB without turning negative.
    std::atomic<std::int64_t> bytesSent{0};
    std::atomic<std::int64_t> bytesReceived{0};

    // What the monitor last wrote into each status-window box (-1: not since it started
    // watching), so that it writes a box only when its value changes. Monitor thread only.
    enum StatusBox { kCtsHoldBox, kDsrHoldBox, kRlsdHoldBox, kXoffHoldBox, kXoffSentBox, kEofBox,
                     kCtsBox, kDsrBox, kRingBox, kRlsdBox, kStatusBoxCount };
    std::array<int, kStatusBoxCount> shownBoxes{};
    // The status line's text while bytes stream in: repainted with the receive box, which
    // repaints every kHandOverIntervalMs while text streams in.
    PacedText statusLineCounters{kHandOverIntervalMs};
    // The monitor's pace, and when it last handed bytes over. Monitor thread only.
    ReceivePace receivePace = ReceivePace::Quiet;
    std::int64_t lastHandOver = 0;
    std::int64_t lastRead = 0;
    std::int64_t lastLook = 0;  // the last look at the line state (events, modem lines)
    DWORD pendingBytes = 0;  // read into the buffer, not yet handed over
    PortFailurePolicy failurePolicy;
    // How often the input queue is read while bytes keep coming: set by each open (before the
    // monitor is woken) from the line rate and the driver's queue.
    DWORD readIntervalMs = kHandOverIntervalMs;
    // The port and line settings of the current opening (set by each open before the workers are
    // woken; the monitor opens the same again when a lost device returns).
    struct OpenedLine {
        std::string portName;
        LineFrame frame;
        int flowControl = 0;
    };
    OpenedLine openedLine;
    bool returnedToWatch = false;  // monitor thread
    std::atomic<std::int64_t> handOvers{0};

    PortLossLedger losses;
    unsigned watchedOpening = 0;  // monitor thread
    const DWORD windowThreadId = GetCurrentThreadId();

    UniqueHandle sendEvent;
    UniqueHandle monitorEvent;
    UniqueHandle arrivalEvent;  // a port arrived: a waiting monitor tries at once
    // Set while a worker is outside every device call: waiting for its wake-up, ended, or (the
    // sender) showing a message box.
    UniqueHandle monitorParked;
    UniqueHandle senderParked;
    UniqueHandle monitorThread;
    UniqueHandle senderThread;
    DWORD senderThreadId = 0;
    // Set by the first shutdown: the bound within which the workers must end. Window thread only.
    WaitSchedule endSchedule;
    // Whether a file send ran when the first shutdown began. The sender stops at the shutdown, so
    // the close that follows asks this rather than a flag the sender may already have cleared.
    bool fileSendingAtEnd = false;
};

}  // namespace quenlet
