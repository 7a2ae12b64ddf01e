// Bad input and failing surroundings: a capture file on a full disk, a send file that disappears
// after it was chosen, a port that vanished, a far end that stops reading, a very large send box.
// Each gives its message, or loses nothing, and the program goes on working.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;
using FaultTest = ControllerTest;

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A system text on one line, as the status line shows it.
std::string firstLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

TEST_F(FaultTest, CaptureOnAFullDiskIsToldOnceWhileShowingAndCountingGoOn) {
    // Every write to /dev/full fails with "no space left on device".
    g_settings.receiveMode = ReceiveMode::Ascii;
    g_settings.alsoReceiveToFile = 1;
    g_settings.receiveFileName = "Z:\\dev\\full";
    openPort();
    ASSERT_TRUE(controller->hasCaptureFile()) << "/dev/full opens; only its writes fail";

    ASSERT_TRUE(peer.write("first"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 5 && messageCount() == 1; }, 5s))
        << messageCount();
    const std::string message = recordedMessages()[0];
    EXPECT_EQ(message.rfind("Capture file write failed: Z:\\dev\\full\r\n", 0), 0u) << message;
    EXPECT_NE(message.find(PortController::formatSystemError(ERROR_DISK_FULL)), std::string::npos) << message;
    EXPECT_NE(message.find("5 bytes were not captured"), std::string::npos) << message;
    EXPECT_FALSE(controller->hasCaptureFile()) << "a file that lost bytes is closed";

    // Refreshes (a mode button, Ctrl+A...) leave the failed file closed: one failure, one message.
    for (int refresh = 0; refresh < 3; ++refresh) {
        controller->refreshDisplay();
        ASSERT_TRUE(peer.write("more"));
        ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 9 + 4 * refresh; }, 5s));
    }
    EXPECT_FALSE(controller->hasCaptureFile());
    pumpFor(300ms);
    EXPECT_EQ(messageCount(), 1u) << "told once, not once per refresh";
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == "firstmoremoremore"; }, 2s))
        << itemText(IDC_RECEIVE_BOX);

    // As the message says, confirming the receive settings opens it again; in hex the file holds
    // three characters a byte, and the message counts the received bytes.
    g_settings.receiveMode = ReceiveMode::Hex;
    controller->retryCapture();
    controller->refreshDisplay();
    EXPECT_TRUE(controller->hasCaptureFile());
    ASSERT_TRUE(peer.write("second"));
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 2; }, 5s));
    EXPECT_NE(recordedMessages()[1].find("6 bytes were not captured"), std::string::npos) << recordedMessages()[1];
    controller->closePort();
    EXPECT_FALSE(controller->serialPort().isOpen());
    EXPECT_EQ(messageCount(), 2u);
}

TEST_F(FaultTest, ASendFileThatDisappearsAfterTheChoiceCannotBeOpened) {
    const TempFile& file = newTempFile(bytesOf("payload"));
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = file.path();
    openPort();
    controller->refreshDisplay();
    ASSERT_TRUE(DeleteFileA(file.path().c_str()));

    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 1; }, 5s));
    EXPECT_EQ(recordedMessages()[0], "File open failed!");
    EXPECT_EQ(controller->sentCount(), 0);
    EXPECT_FALSE(controller->isFileSending());

    // Back to text: the port still sends.
    g_settings.sendMode = SendMode::Ascii;
    controller->refreshDisplay();
    setItemText(IDC_SEND_BOX, "ok");
    // The sender reads the box through the window thread, which must keep pumping meanwhile.
    PeerCollector collector(peer);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= 2; }, 5s));
    EXPECT_EQ(collector.bytes(), bytesOf("ok"));
}

TEST_F(FaultTest, APortThatVanishedGivesTheSystemTextAndTheNextOpenWorks) {
    g_settings.portName = "COM" + std::to_string(kMissingPortNumber);
    controller->openPort();
    ASSERT_EQ(messageCount(), 1u);
    EXPECT_EQ(recordedMessages()[0].rfind("Error: Port(" + g_settings.portName + "), ", 0), 0u)
        << recordedMessages()[0];
    EXPECT_FALSE(controller->serialPort().isOpen());

    g_settings.portName = testPortName();
    openPort();
    ASSERT_TRUE(peer.write("x"));
    EXPECT_TRUE(pumpUntil([&] { return controller->receivedCount() == 1; }, 5s));
}

TEST_F(FaultTest, APortWithoutModemLinesStaysOpenAndCarriesDataBothWays) {
    // A bare pty, as a port bridged by socat or a serial-over-network bridge: it answers no
    // modem-line request. That is a device without modem lines, not a device gone.
    const ScopedLineMode bare(LineMode::Bare);
    ASSERT_TRUE(bare.ok());
    ASSERT_TRUE(setModemLines(testPortNumber(), {true, true, true, true}));  // nobody answers for them
    openPort();
    controller->status().ShowWindow(SW_SHOWNA);
    pumpFor(3s);
    EXPECT_TRUE(controller->serialPort().isOpen());
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages()[0];

    PeerCollector collector(peer);
    ASSERT_TRUE(peer.write("ping"));
    setItemText(IDC_SEND_BOX, "pong");
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 4 && collector.size() == 4; }, 5s))
        << controller->receivedCount() << " " << collector.size();
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == "ping"; }, 2s));
    EXPECT_EQ(collector.bytes(), bytesOf("pong"));
    pumpFor(1s);
    EXPECT_TRUE(controller->serialPort().isOpen());
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages()[0];
    // Lines the device cannot report read as off, whatever the far end does.
    ASSERT_TRUE(setModemLines(testPortNumber(), {}));
    pumpFor(300ms);
    for (const int box : {IDC_CTS, IDC_DSR, IDC_RING, IDC_RLSD}) {
        EXPECT_EQ(IsDlgButtonChecked(controller->status().hwnd(), box), BST_UNCHECKED) << box;
    }
}

// Each answer a device may give in place of data, through the real device and monitor code: what
// the program makes of it (goes on, goes on without the feature, or takes the device for lost, and
// how soon), and that it never spins on a device that answers at once.
TEST_F(FaultTest, EachAnswerOfTheDeviceLeadsWhereItShould) {
    using Kind = InjectedAnswer::Kind;
    struct Row {
        const char* what;
        DeviceCall call;
        InjectedAnswer answer;
        int times;          // -1: every time
        bool lost;          // the device is taken for lost...
        DWORD toldCode;     // ...and the user told this code's text
        double atLeastSeconds;  // not before (a run of passes each waits out its limit)
    };
    const DWORD notWorking = PortFailurePolicy::kNotWorkingCode;
    const Row rows[] = {
        {"a wait read aborted once", DeviceCall::WaitRead, {Kind::Code, ERROR_OPERATION_ABORTED}, 1, false, 0, 0},
        {"a wait read that completes at once, empty", DeviceCall::WaitRead, {Kind::Empty, 0}, 3, false, 0, 0},
        {"modem lines the device does not support", DeviceCall::ModemStatus, {Kind::Code, ERROR_NOT_SUPPORTED}, -1,
         false, 0, 0},
        {"a write aborted once", DeviceCall::Write, {Kind::Code, ERROR_OPERATION_ABORTED}, 1, false, 0, 0},
        {"wait reads aborted again and again", DeviceCall::WaitRead, {Kind::Code, ERROR_OPERATION_ABORTED}, -1, true,
         notWorking, 4.5},
        {"wait reads that complete empty again and again", DeviceCall::WaitRead, {Kind::Empty, 0}, -1, true,
         notWorking, 4.5},
        {"a wait read the device will not give back", DeviceCall::WaitRead, {Kind::Stuck, 0}, 1, true, notWorking, 0},
        {"a wait read that fails with not ready", DeviceCall::WaitRead, {Kind::Code, ERROR_NOT_READY}, 1, true,
         ERROR_NOT_READY, 0},
        {"a write that fails with not ready", DeviceCall::Write, {Kind::Code, ERROR_NOT_READY}, 1, true,
         ERROR_NOT_READY, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        messages.clear();
        openPort();
        PeerCollector collector(peer);
        const auto start = std::chrono::steady_clock::now();
        InjectedFaults faults(row.call, row.answer, row.times);
        // What makes the device answer: the monitor's waits go on by themselves; a write needs a
        // send; a read the wait holds on to needs a byte to read.
        setItemText(IDC_SEND_BOX, "hello");
        if (row.call == DeviceCall::Write) controller->onSendButton();
        if (row.answer.kind == Kind::Stuck) {
            ASSERT_TRUE(pumpUntil([&] { return faults.used() > 0; }, 5s));
            ASSERT_TRUE(peer.write("!"));
        }

        if (row.lost) {
            // The device is taken for lost and, while it stays away, the port waits for it; the
            // status line says why, and only a send cut short is told in a box.
            faults.add(DeviceCall::Open, {Kind::Code, ERROR_FILE_NOT_FOUND}, -1);
            ASSERT_TRUE(pumpUntil([&] { return controller->isWaitingForDevice(); }, 20s)) << faults.used();
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_GE(seconds, row.atLeastSeconds);
            if (row.times < 0) {
                // One answer a pass, each pass waiting out its limit: no spinning.
                EXPECT_LE(faults.used(), PortFailurePolicy::kEmptyPassLimit + 2);
            }
            EXPECT_TRUE(pumpUntil(
                [&] {
                    return itemText(IDC_STATUS_LINE).rfind(testPortName() + " lost (" +
                                                               firstLine(PortController::formatSystemError(row.toldCode)) +
                                                               "), waiting",
                                                           0) == 0;
                },
                2s))
                << itemText(IDC_STATUS_LINE);
            pumpFor(300ms);
            if (row.call == DeviceCall::Write) {
                ASSERT_EQ(messageCount(), 1u);
                EXPECT_NE(recordedMessages()[0].find("The text send stopped after 0 of 5 bytes."), std::string::npos)
                    << recordedMessages()[0];
            } else {
                EXPECT_EQ(messageCount(), 0u) << recordedMessages()[0];
            }
            // The device answers again: the port is back by itself.
            faults.withdraw(row.call);
            faults.withdraw(DeviceCall::Open);
            ASSERT_TRUE(pumpUntil([&] { return !controller->isWaitingForDevice(); }, 5s));
            EXPECT_TRUE(controller->serialPort().isOpen());
            EXPECT_EQ(itemText(IDC_STATUS_LINE).rfind(testPortName() + ", Sent/Received bytes: ", 0), 0u)
                << itemText(IDC_STATUS_LINE);
            controller->closePort();
            continue;
        }

        // The device is still there: the port stays open, says nothing, and carries data.
        ASSERT_TRUE(pumpUntil([&] { return faults.used() > 0; }, 5s));
        if (row.call != DeviceCall::Write) controller->onSendButton();
        ASSERT_TRUE(peer.write("ok"));
        ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 2 && collector.size() == 5; }, 5s))
            << controller->receivedCount() << " " << collector.size();
        EXPECT_EQ(collector.bytes(), bytesOf("hello"));
        pumpFor(500ms);
        EXPECT_TRUE(controller->serialPort().isOpen());
        EXPECT_TRUE(recordedMessages().empty()) << recordedMessages()[0];
        controller->closePort();
    }
}

TEST_F(FaultTest, ALossNamesOnlyASendThatTheLossItselfEnded) {
    // The user stops a file send; later, with the port idle, the device goes. The loss's message
    // must not name the send that had ended long before.
    const std::vector<std::uint8_t> payload = patternBytes(256 << 10, 4);
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = newTempFile(payload).path();
    openPort();
    controller->refreshDisplay();
    PeerCollector collector(peer);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->isFileSending() && collector.size() > 0; }, 5s));
    controller->onSendButton();  // Stop
    ASSERT_FALSE(controller->isFileSending());
    pumpFor(500ms);
    ASSERT_EQ(messageCount(), 0u) << "a stopped file send ends silently";

    {
        // Unplugged: the port waits for the device, and nothing is cut short to be told of.
        InjectedFaults unplugged(DeviceCall::WaitRead, {InjectedAnswer::Kind::Code, ERROR_NOT_READY}, -1);
        unplugged.add(DeviceCall::Open, {InjectedAnswer::Kind::Code, ERROR_FILE_NOT_FOUND}, -1);
        ASSERT_TRUE(pumpUntil([&] { return controller->isWaitingForDevice(); }, 5s));
        pumpFor(500ms);
        EXPECT_EQ(messageCount(), 0u) << recordedMessages()[0];
    }
    // Plugged in again: it comes back by itself.
    ASSERT_TRUE(pumpUntil([&] { return !controller->isWaitingForDevice(); }, 5s));
    ASSERT_TRUE(controller->serialPort().isOpen());

    // A send running when the device goes is named, with how far it got. The counters went on
    // from before the loss.
    const std::int64_t sentBefore = controller->sentCount();
    ASSERT_GT(sentBefore, 0);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->isFileSending() && controller->sentCount() > 0; }, 5s));
    {
        InjectedFaults unplugged(DeviceCall::Write, {InjectedAnswer::Kind::Code, ERROR_NOT_READY}, -1);
        unplugged.add(DeviceCall::Open, {InjectedAnswer::Kind::Code, ERROR_FILE_NOT_FOUND}, -1);
        ASSERT_TRUE(pumpUntil([&] { return messageCount() == 1; }, 10s));
        EXPECT_TRUE(controller->isWaitingForDevice());
    }
    const std::string message = recordedMessages()[0];
    EXPECT_EQ(message.rfind("Error: Port(" + testPortName() + "), " + PortController::formatSystemError(ERROR_NOT_READY), 0),
              0u)
        << message;
    EXPECT_NE(message.find("The file send stopped after " + std::to_string(controller->sentCount() - sentBefore) + " of " +
                           std::to_string(payload.size()) + " bytes.\r\nThe port waits for its device to return"),
              std::string::npos)
        << message;
}

TEST_F(FaultTest, AFarEndThatStopsReadingDuringAFileSendGetsEveryByteBeforeTheSuccess) {
    const std::vector<std::uint8_t> payload = patternBytes(256 << 10, 21);
    const auto size = static_cast<std::int64_t>(payload.size());
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = newTempFile(payload).path();
    openPort();
    controller->refreshDisplay();
    controller->onSendButton();

    // Nobody reads at the far end: the line's buffers fill and the device stops taking bytes,
    // its writes reaching their time limit, until the count has stood still for a while.
    std::int64_t lastCount = 0;
    ASSERT_TRUE(pumpUntilSendStalls(2500ms, 60s, lastCount));
    ASSERT_LT(lastCount, size) << "the line took the whole file without holding the flow";
    EXPECT_TRUE(controller->isFileSending());
    EXPECT_EQ(messageCount(), 0u) << "a message before the last byte: " << recordedMessages()[0];

    // The far end reads again: the send goes on from the first byte the device did not take.
    PeerCollector collector(peer);
    std::int64_t sentAtMessage = -1;
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (messageCount() == 0) return false;
            sentAtMessage = controller->sentCount();
            return true;
        },
        60s));
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"File has been sent successfully!"});
    EXPECT_EQ(sentAtMessage, size) << "the success came before the last byte was accepted";
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= payload.size(); }, 20s)) << collector.size();
    EXPECT_TRUE(collector.bytes() == payload) << "the far end got other bytes";
}

TEST_F(FaultTest, ALoopTheDeviceStopsTakingEndsWithOneMessage) {
    // A device that holds the flow ends the loop with one message, not a copy held for ever.
    // Nobody reads at the far end.
    openPort();
    startLoop(std::string(4096, 'L').c_str(), "20");
    ASSERT_TRUE(controller->isLoopSending());

    ASSERT_TRUE(pumpUntil([&] { return !controller->isLoopSending() && messageCount() > 0; }, 60s));
    pumpFor(500ms);
    ASSERT_EQ(messageCount(), 1u);
    EXPECT_EQ(recordedMessages()[0].rfind("Loop sending stopped: the device took ", 0), 0u) << recordedMessages()[0];
    EXPECT_EQ(itemText(IDC_SEND), "Send");

    // What the counter says went out is what reaches the far end.
    PeerCollector collector(peer);
    const auto sent = static_cast<size_t>(controller->sentCount());
    EXPECT_TRUE(pumpUntil([&] { return collector.size() >= sent; }, 20s));
    pumpFor(200ms);
    EXPECT_EQ(collector.size(), sent);
}

TEST_F(FaultTest, ATenMebibyteSendBoxArrivesWhole) {
    constexpr size_t kSize = 10u << 20;
    std::string text(kSize, ' ');
    for (size_t i = 0; i < kSize; ++i) text[i] = static_cast<char>('A' + (i * 7 + i / 1024) % 26);
    openPort();
    setItemText(IDC_SEND_BOX, text.c_str());
    ASSERT_EQ(static_cast<size_t>(GetWindowTextLengthA(host->item(IDC_SEND_BOX))), kSize);

    PeerCollector collector(peer);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= kSize; }, 120s)) << collector.size();
    EXPECT_EQ(controller->sentCount(), static_cast<std::int64_t>(kSize));
    EXPECT_TRUE(collector.bytes() == bytesOf(text)) << "the peer got other bytes";
    EXPECT_TRUE(recordedMessages().empty());
}

}  // namespace
}  // namespace quenlet::test
