// PortController lifecycle and worker threads against the virtual null-modem: open and close,
// the monitor's reads and status boxes, the sender's wake-ups, and shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

// The time since start, printed for the record (the bounds checked are liveness bounds).
std::chrono::milliseconds reportShutdown(const char* state, std::chrono::steady_clock::time_point start) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("shutdown from %s: %lld ms\n", state, static_cast<long long>(took.count()));
    return took;
}

std::string printable(size_t size) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('!' + i % 90);
    return text;
}

using PortControllerTest = ControllerTest;

TEST_F(PortControllerTest, OpenResetsTheCountersAndCloseKeepsThem) {
    openPort();
    EXPECT_EQ(itemText(IDC_STATUS_LINE), testPortName() + ", Sent/Received bytes: 0/0");

    ASSERT_TRUE(peer.write("abc"));
    setItemText(IDC_SEND_BOX, "hello");
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 3 && controller->sentCount() == 5; }, 5s));
    EXPECT_EQ(peer.read(5, 2s), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(itemText(IDC_STATUS_LINE), testPortName() + ", Sent/Received bytes: 5/3");

    const auto start = std::chrono::steady_clock::now();
    controller->closePort();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(controller->sentCount(), 5);
    EXPECT_EQ(controller->receivedCount(), 3);
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: " + testPortName());
    EXPECT_TRUE(messages.empty());

    openPort();
    EXPECT_EQ(controller->sentCount(), 0);
    EXPECT_EQ(controller->receivedCount(), 0);
    EXPECT_EQ(itemText(IDC_STATUS_LINE), testPortName() + ", Sent/Received bytes: 0/0");
}

TEST_F(PortControllerTest, FailedOpenShowsTheSystemTextAndChangesNothing) {
    openPort();
    ASSERT_TRUE(peer.write("xy"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 2; }, 5s));
    controller->closePort();

    // A missing port.
    g_settings.portName = "COM" + std::to_string(kMissingPortNumber);
    controller->openPort();
    ASSERT_EQ(messages.size(), 1u);
    const DWORD missingCode = controller->serialPort().lastError();
    EXPECT_NE(missingCode, 0u);
    EXPECT_EQ(messages[0], "Error: Port(" + g_settings.portName + "), " +
                               PortController::formatSystemError(missingCode));
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(controller->receivedCount(), 2);
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: " + testPortName()) << "no refresh after a failure";

    // A port held by another handle: access denied, with the system's text for it.
    g_settings.portName = testPortName();
    SerialPort holder;
    ASSERT_TRUE(holder.open(testDevicePath().c_str(), 9600, 8, 0, 0, 0, 1));
    controller->openPort();
    ASSERT_EQ(messages.size(), 2u);
    const std::string deniedText = PortController::formatSystemError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(deniedText.empty());
    EXPECT_EQ(messages[1], "Error: Port(" + testPortName() + "), " + deniedText);
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(controller->receivedCount(), 2);
    ASSERT_TRUE(holder.close());

    // A frame the driver refuses (4 data bits): the device opened, but the open failed, so the
    // port is left free for others and a later refresh still shows it closed.
    SerialPort probe;
    ASSERT_FALSE(probe.open(testDevicePath().c_str(), 9600, 4, 0, 0, 0, 1)) << "the driver takes 4 data bits";
    const DWORD refusedCode = probe.lastError();
    EXPECT_NE(refusedCode, 0u);
    probe.close();
    g_settings.dataBits = 4;
    controller->openPort();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2], "Error: Port(" + testPortName() + "), " + PortController::formatSystemError(refusedCode));
    EXPECT_FALSE(controller->serialPort().isOpen());
    SerialPort nextOpener;
    EXPECT_TRUE(nextOpener.open(testDevicePath().c_str(), 9600, 8, 0, 0, 0, 1)) << "the port is still held";
    nextOpener.close();
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: " + testPortName());
    EXPECT_FALSE(isEnabled(IDC_SEND));
    EXPECT_EQ(controller->receivedCount(), 2);
}

TEST_F(PortControllerTest, CloseIsRefusedWhileALoopRuns) {
    openPort();
    PeerCollector collector(peer);
    startLoop("tick", "40");
    ASSERT_TRUE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= 12; }, 5s)) << "the loop timer sends";

    controller->closePort();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Loop sending, stop sending first!");
    EXPECT_TRUE(controller->serialPort().isOpen());

    const auto start = std::chrono::steady_clock::now();
    controller->onSendButton();  // Stop
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);
    EXPECT_FALSE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    const size_t sent = collector.size();
    pumpFor(200ms);
    EXPECT_EQ(collector.size(), sent) << "ticks after Stop";
    EXPECT_EQ(sent % 4, 0u) << "only whole sends go out";

    controller->closePort();
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(PortControllerTest, LoopNeedsAPositiveInterval) {
    openPort();
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    for (const char* interval : {"0", "", "Uint/ms"}) {
        setItemText(IDC_LOOP_INTERVAL, interval);
        controller->onSendButton();
        EXPECT_FALSE(controller->isLoopSending()) << interval;
    }
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& message : messages) EXPECT_EQ(message, "Please enter the time interval");
}

TEST_F(PortControllerTest, CloseIsRefusedWhileAFileIsSent) {
    const TempFile file(patternBytes(512 * 1024, 3));
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = file.path();
    openPort();
    PeerCollector collector(peer);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->isFileSending() && collector.size() > 0; }, 5s));
    EXPECT_EQ(itemText(IDC_SEND), "Stop");

    controller->closePort();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Sendding file, stop sending first!");
    EXPECT_TRUE(controller->serialPort().isOpen());

    controller->onSendButton();  // Stop
    EXPECT_FALSE(controller->isFileSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    pumpFor(100ms);
    EXPECT_EQ(messages.size(), 1u) << "a cancelled send ends silently";
    const auto received = collector.bytes();
    EXPECT_LT(received.size(), 512u * 1024u);
    const auto expected = patternBytes(512 * 1024, 3);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), expected.begin())) << "a prefix of the file";

    controller->closePort();
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(PortControllerTest, BurstsAndTricklesArriveWholeAtTheRepaintPaceAndALoneByteAtOnce) {
    openPort();
    SendMessageA(host->item(IDC_RECEIVE_BOX), EM_LIMITTEXT, 0x1400000, 0);
    MessageCounter replaces(host->item(IDC_RECEIVE_BOX), EM_REPLACESEL);
    const std::string burst = printable(20000);
    ASSERT_TRUE(peer.write(burst));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 20000; }, 10s))
        << controller->receivedCount();
    EXPECT_GE(replaces.count(), 20);
    const int burstReplaces = replaces.count();
    const std::int64_t burstHandOvers = controller->handOverCount();

    // A 256,000 baud line as a UART delivers it: 26 bytes every millisecond for about a second.
    std::string trickle = printable(26000);
    std::reverse(trickle.begin(), trickle.end());
    const auto trickleStart = std::chrono::steady_clock::now();
    std::thread writer([&] {
        for (size_t offset = 0; offset < trickle.size(); offset += 26) {
            if (!peer.write(trickle.data() + offset, 26)) return;
            Sleep(1);
        }
    });
    const bool arrived = pumpUntil([&] { return controller->receivedCount() == 46000; }, 20s);
    writer.join();
    ASSERT_TRUE(arrived) << controller->receivedCount();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - trickleStart).count();

    std::string joined;
    for (const auto& text : replaces.texts()) {
        EXPECT_LE(text.size(), 1023u);
        joined += text;
    }
    EXPECT_EQ(joined, burst + trickle);
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), burst + trickle);
    // Handed over at the pace the receive box repaints (about every 90 ms), not for every few
    // bytes written.
    const std::int64_t trickleHandOvers = controller->handOverCount() - burstHandOvers;
    std::printf("trickle: %lld hand-overs in %.2f s\n", static_cast<long long>(trickleHandOvers), seconds);
    EXPECT_LE(trickleHandOvers, static_cast<std::int64_t>(seconds * 12) + 2);
    EXPECT_GE(replaces.count() - burstReplaces, 26);  // still no chunk above 1023 bytes

    // A lone byte after a quiet spell goes at once: a typed character's echo.
    std::vector<double> delays;
    for (int sample = 0; sample < 7; ++sample) {
        pumpFor(300ms);
        const std::int64_t before = controller->receivedCount();
        const auto written = std::chrono::steady_clock::now();
        ASSERT_TRUE(peer.write("e"));
        ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == before + 1; }, 2s));
        delays.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - written).count());
    }
    std::sort(delays.begin(), delays.end());
    std::printf("lone byte handed over after %.1f ms (median of 7; %.1f to %.1f)\n", delays[3], delays[0],
                delays[6]);
    EXPECT_LE(delays[3], 20.0);
}

TEST_F(PortControllerTest, ClosingWhileDataStreamsInLeavesNothingCountedButUnshown) {
    openPort();
    // The main window's limit: what is on its way when the close comes may pass an edit box's.
    SendMessageA(host->item(IDC_RECEIVE_BOX), EM_LIMITTEXT, 0x1400000, 0);
    const std::string stream = printable(100000);
    std::atomic<bool> closed{false};
    std::thread writer([&] {
        for (size_t offset = 0; offset < stream.size() && !closed; offset += 500) {
            if (!peer.write(stream.data() + offset, 500)) return;
            Sleep(1);
        }
    });
    const bool streaming = pumpUntil([&] { return controller->receivedCount() > 20000; }, 10s);
    // The writer stops, so that it never blocks on a closed port, but what it wrote is still on
    // its way while the port closes.
    closed = true;
    controller->closePort();
    writer.join();
    ASSERT_TRUE(streaming) << controller->receivedCount();
    EXPECT_FALSE(controller->serialPort().isOpen());
    // Every byte taken from the device is counted and shown, in order.
    const std::string shown = itemText(IDC_RECEIVE_BOX);
    EXPECT_EQ(static_cast<std::int64_t>(shown.size()), controller->receivedCount());
    EXPECT_EQ(shown, stream.substr(0, shown.size()));

    // What was still on its way arrives and goes, so that the next test starts on a quiet line.
    SerialPort line;
    ASSERT_TRUE(line.open(testDevicePath().c_str(), 9600, 8, 0, 0, 0, 1));
    auto quietSince = std::chrono::steady_clock::now();
    std::vector<char> sink(4096);
    EXPECT_TRUE(waitUntil(
        [&] {
            DWORD count = 0;
            if (line.read(sink.data(), static_cast<DWORD>(sink.size()), &count) && count > 0)
                quietSince = std::chrono::steady_clock::now();
            return std::chrono::steady_clock::now() - quietSince > 300ms;
        },
        10s));
}

TEST_F(PortControllerTest, QueuedBytesWithoutAnEventAreReadOnTheNextPass) {
    openPort();
    // Without EV_RXCHAR in the mask only the 100 ms pass can find the bytes.
    ASSERT_TRUE(controller->serialPort().setEventMask(EV_CTS));
    pumpFor(250ms);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(peer.write("quiet"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 5; }, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "quiet");
}

TEST_F(PortControllerTest, StatusBoxesAreWrittenOnlyWhenTheirValueChanges) {
    HWND status = controller->status().hwnd();
    MessageCounter holdWrites(GetDlgItem(status, IDC_CTS_HOLD), BM_SETCHECK);
    MessageCounter eofWrites(GetDlgItem(status, IDC_EOF_RECEIVED), BM_SETCHECK);
    MessageCounter ctsWrites(GetDlgItem(status, IDC_CTS), BM_SETCHECK);
    MessageCounter dsrWrites(GetDlgItem(status, IDC_DSR), BM_SETCHECK);
    openPort();
    // Ten quiet passes: the hold boxes get their value once, when the monitor starts watching.
    ASSERT_TRUE(pumpUntil([&] { return holdWrites.count() >= 1 && eofWrites.count() >= 1; }, 3s));
    pumpFor(1000ms);
    EXPECT_EQ(holdWrites.count(), 1);
    EXPECT_EQ(eofWrites.count(), 1);
    EXPECT_EQ(ctsWrites.count(), 0);
    EXPECT_EQ(dsrWrites.count(), 0);

    ASSERT_TRUE(setModemLines(testPortNumber(), {.cts = true}));
    ASSERT_TRUE(pumpUntil([&] { return IsDlgButtonChecked(status, IDC_CTS) == BST_CHECKED; }, 3s));
    pumpFor(300ms);
    EXPECT_EQ(ctsWrites.count(), 1);
    EXPECT_EQ(dsrWrites.count(), 0) << "DSR did not change";
    EXPECT_EQ(holdWrites.count(), 1);
}

TEST_F(PortControllerTest, LineBoxesFollowTheFarEnd) {
    // A line already on at open shows only once it changes.
    ASSERT_TRUE(setModemLines(testPortNumber(), {.dsr = true}));
    openPort();
    const HWND status = controller->status().hwnd();
    pumpFor(400ms);
    EXPECT_EQ(IsDlgButtonChecked(status, IDC_DSR), BST_UNCHECKED);

    struct Line {
        ModemLines on;
        int box;
    };
    const Line lines[] = {{{.cts = true}, IDC_CTS},
                          {{.dsr = true}, IDC_DSR},
                          {{.ring = true}, IDC_RING},
                          {{.rlsd = true}, IDC_RLSD}};
    ASSERT_TRUE(setModemLines(testPortNumber(), {}));
    pumpFor(300ms);
    for (const Line& line : lines) {
        SCOPED_TRACE(line.box);
        ASSERT_TRUE(setModemLines(testPortNumber(), line.on));
        EXPECT_TRUE(pumpUntil([&] { return IsDlgButtonChecked(status, line.box) == BST_CHECKED; }, 3s));
        ASSERT_TRUE(setModemLines(testPortNumber(), {}));
        EXPECT_TRUE(pumpUntil([&] { return IsDlgButtonChecked(status, line.box) == BST_UNCHECKED; }, 3s));
    }
}

TEST_F(PortControllerTest, APressDuringASendStopsItInTimeEvenOnAHeldLine) {
    openPort();
    // Nobody reads at the far end: the line's buffers fill and the device holds the flow, its
    // writes waiting out their limit, which is longer than Stop may take.
    const std::string text = printable(256 * 1024);
    setItemText(IDC_SEND_BOX, text.c_str());
    controller->onSendButton();
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    std::int64_t stoodAt = 0;
    ASSERT_TRUE(pumpUntilSendStalls(500ms, 30s, stoodAt));
    ASSERT_LT(controller->sentCount(), static_cast<std::int64_t>(text.size()));
    EXPECT_TRUE(controller->isBoxSending());

    const auto start = std::chrono::steady_clock::now();
    controller->onSendButton();  // Stop, not one more send
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1700ms);
    EXPECT_FALSE(controller->isBoxSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 1; }, 5s));
    const std::int64_t sent = controller->sentCount();
    EXPECT_EQ(messages[0], "The text send stopped after " + std::to_string(sent) + " of " +
                               std::to_string(text.size()) + " bytes.");

    // The far end reads again: it gets exactly what was counted, and nothing more comes.
    PeerCollector collector(peer);
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= static_cast<size_t>(sent); }, 10s)) << collector.size();
    pumpFor(500ms);
    const auto received = collector.bytes();
    ASSERT_EQ(received.size(), static_cast<size_t>(sent));
    EXPECT_TRUE(std::equal(received.begin(), received.end(), text.begin()));
    EXPECT_EQ(controller->sentCount(), sent);
}

// A lost device that stays away: the port waits for it (the device's open answers "not found").
class LostDevice {
public:
    LostDevice() : faults_(DeviceCall::WaitRead, {InjectedAnswer::Kind::Code, ERROR_NOT_READY}, 1) {
        faults_.add(DeviceCall::Open, {InjectedAnswer::Kind::Code, ERROR_FILE_NOT_FOUND}, -1);
    }
    // Another program holds the port meanwhile.
    void takenByAnother() {
        faults_.withdraw(DeviceCall::Open);
        faults_.add(DeviceCall::Open, {InjectedAnswer::Kind::Code, ERROR_ACCESS_DENIED}, -1);
    }
    // The device is back, but refuses the line settings.
    void backRefusing() {
        faults_.add(DeviceCall::Configure, {InjectedAnswer::Kind::Code, ERROR_INVALID_PARAMETER}, -1);
        faults_.withdraw(DeviceCall::Open);
    }
    void back() { faults_.withdraw(DeviceCall::Open); }

private:
    InjectedFaults faults_;
};

TEST_F(PortControllerTest, ALostDeviceIsWaitedForAndComesBackAsItWas) {
    const TempFile& capture = newTempName();
    g_settings.alsoReceiveToFile = 1;
    g_settings.receiveFileName = capture.path();
    openPort();
    SendMessageA(host->item(IDC_RECEIVE_BOX), EM_LIMITTEXT, 0x1400000, 0);
    PeerCollector collector(peer);
    ASSERT_TRUE(peer.write("before"));
    setItemText(IDC_SEND_BOX, "out");
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 6 && controller->sentCount() == 3; }, 5s));
    const HWND status = controller->status().hwnd();
    controller->status().ShowWindow(SW_SHOWNA);

    std::optional<LostDevice> device(std::in_place);
    ASSERT_TRUE(pumpUntil([&] { return controller->isWaitingForDevice(); }, 5s));
    // Nobody is asked anything; the window keeps what it had and offers Close.
    const std::string waiting = testPortName() + " lost (Not ready.), waiting for it to return; Sent/Received bytes: 3/6";
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_STATUS_LINE) == waiting; }, 2s)) << itemText(IDC_STATUS_LINE);
    EXPECT_TRUE(controller->isCloseButtonEnabled());
    EXPECT_FALSE(controller->isOpenButtonEnabled());
    EXPECT_FALSE(controller->isPortSettingsButtonEnabled());
    EXPECT_FALSE(isEnabled(IDC_SEND));
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "before");
    EXPECT_TRUE(controller->hasCaptureFile());
    EXPECT_TRUE(IsWindowVisible(status));

    // The device is tried at least every 100 ms, and at once when the system says a port arrived.
    const long long attemptsBefore = controller->reopenAttempts();
    pumpFor(1s);
    const long long perSecond = controller->reopenAttempts() - attemptsBefore;
    EXPECT_GE(perSecond, 8);
    EXPECT_LE(perSecond, 12) << "tried more often than asked";
    std::vector<double> arrivals;
    for (int sample = 0; sample < 5; ++sample) {
        const long long seen = controller->reopenAttempts();
        ASSERT_TRUE(pumpUntil([&] { return controller->reopenAttempts() > seen; }, 1s));
        const long long after = controller->reopenAttempts();
        const auto told = std::chrono::steady_clock::now();
        controller->onDeviceArrival();
        ASSERT_TRUE(pumpUntil([&] { return controller->reopenAttempts() > after; }, 1s));
        arrivals.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - told).count());
    }
    std::sort(arrivals.begin(), arrivals.end());
    EXPECT_LT(arrivals[2], 50.0) << "an arrival did not bring the next try forward";

    // Another program took the port meanwhile: the wait goes on, and says so.
    device->takenByAnother();
    std::string denied = PortController::formatSystemError(ERROR_ACCESS_DENIED);
    while (!denied.empty() && (denied.back() == '\n' || denied.back() == '\r')) denied.pop_back();
    EXPECT_TRUE(pumpUntil(
        [&] {
            return itemText(IDC_STATUS_LINE) ==
                   testPortName() + " held by another program (" + denied + "), waiting; Sent/Received bytes: 3/6";
        },
        2s))
        << itemText(IDC_STATUS_LINE);
    EXPECT_TRUE(controller->isWaitingForDevice());

    // Lines changed while the device was away: the status window shows them as they are on its return.
    ASSERT_TRUE(setModemLines(testPortNumber(), {true, false, false, true}));
    device->back();
    ASSERT_TRUE(pumpUntil([&] { return !controller->isWaitingForDevice(); }, 2s));
    device.reset();
    EXPECT_TRUE(controller->serialPort().isOpen());
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_STATUS_LINE) == testPortName() + ", Sent/Received bytes: 3/6"; }, 2s))
        << itemText(IDC_STATUS_LINE);
    EXPECT_TRUE(pumpUntil(
        [&] {
            return IsDlgButtonChecked(status, IDC_CTS) == BST_CHECKED && IsDlgButtonChecked(status, IDC_RLSD) == BST_CHECKED;
        },
        2s));
    EXPECT_EQ(IsDlgButtonChecked(status, IDC_DSR), BST_UNCHECKED);
    EXPECT_TRUE(isEnabled(IDC_SEND));

    // The counters, the receive box and the capture file go on from where they were.
    ASSERT_TRUE(peer.write("after"));
    setItemText(IDC_SEND_BOX, "again");
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 11 && controller->sentCount() == 8; }, 5s));
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == "beforeafter"; }, 2s)) << itemText(IDC_RECEIVE_BOX);
    ASSERT_TRUE(pumpUntil([&] { return collector.size() == 8; }, 5s));
    EXPECT_EQ(collector.bytes(), (std::vector<std::uint8_t>{'o', 'u', 't', 'a', 'g', 'a', 'i', 'n'}));
    controller->closePort();
    EXPECT_EQ(capture.contents(), (std::vector<std::uint8_t>{'b', 'e', 'f', 'o', 'r', 'e', 'a', 'f', 't', 'e', 'r'}));
    EXPECT_TRUE(messages.empty()) << messages[0];
}

TEST_F(PortControllerTest, CloseEndsTheWaitAndADeviceThatReturnsLaterIsNotOpened) {
    openPort();
    // A loop runs at the loss: it stops, and says so once.
    startLoop("tick", "40");
    ASSERT_TRUE(controller->isLoopSending());
    std::optional<LostDevice> device(std::in_place);
    ASSERT_TRUE(pumpUntil([&] { return controller->isWaitingForDevice() && messageCount() == 1; }, 5s));
    EXPECT_FALSE(controller->isLoopSending());
    EXPECT_NE(recordedMessages()[0].find("\r\nLoop sending stopped; it does not start again by itself.\r\n"),
              std::string::npos)
        << recordedMessages()[0];

    controller->closePort();
    EXPECT_FALSE(controller->isWaitingForDevice());
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: " + testPortName());
    const long long attempts = controller->reopenAttempts();
    device->back();
    pumpFor(500ms);
    EXPECT_FALSE(controller->serialPort().isOpen()) << "a device that returned after Close was opened";
    EXPECT_EQ(controller->reopenAttempts(), attempts);
    EXPECT_EQ(messageCount(), 1u);
}

TEST_F(PortControllerTest, ADeviceThatReturnsRefusingItsSettingsEndsTheWaitWithTheOpenMessage) {
    openPort();
    std::optional<LostDevice> device(std::in_place);
    ASSERT_TRUE(pumpUntil([&] { return controller->isWaitingForDevice(); }, 5s));
    device->backRefusing();
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 1; }, 5s));
    EXPECT_EQ(recordedMessages()[0],
              "Error: Port(" + testPortName() + "), " + PortController::formatSystemError(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(controller->isWaitingForDevice());
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: " + testPortName());
    device.reset();
    // The port opens again as usual.
    openPort();
}

TEST_F(PortControllerTest, WorkersEndFromIdle) {
    const auto start = std::chrono::steady_clock::now();
    controller.reset();
    EXPECT_LT(reportShutdown("idle", start), 2s);
}

TEST_F(PortControllerTest, WorkersEndFromOpen) {
    openPort();
    ASSERT_TRUE(peer.write("data"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 4; }, 5s));
    const auto start = std::chrono::steady_clock::now();
    controller->shutdown();
    controller->closePort();
    controller.reset();
    EXPECT_LT(reportShutdown("open", start), 2s);
    SerialPort port;
    EXPECT_TRUE(port.open(testDevicePath().c_str(), 9600, 8, 0, 0, 0, 1)) << "the device was released";
}

TEST_F(PortControllerTest, ExitDuringAFileSendRefusesTheCloseAndStillEnds) {
    const TempFile file(patternBytes(1024 * 1024, 5));
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = file.path();
    openPort();
    PeerCollector collector(peer);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->isFileSending() && collector.size() > 0; }, 5s));

    // The exit sequence of the main window.
    const auto start = std::chrono::steady_clock::now();
    controller->clearLoopSending();
    controller->shutdown();
    controller->closePort();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Sendding file, stop sending first!");
    controller.reset();
    EXPECT_LT(reportShutdown("a file send", start), 3s);
    EXPECT_EQ(messages.size(), 1u) << "no success message after an exit";
    EXPECT_LT(collector.size(), 1024u * 1024u);
}

}  // namespace
}  // namespace quenlet::test
