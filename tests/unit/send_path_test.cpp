// The send path against the virtual null-modem: the send box as text and as hexadecimal pairs,
// whole files, and the loop timer, observed at the far end, on the counters and on the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr char kInvalidHexMessage[] = "Your sendding data is invalid hexadecimal string!\r\n";
constexpr char kSentMessage[] = "File has been sent successfully!";

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

class SendPathTest : public ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (HasFatalFailure()) return;
        openPort();
        if (HasFatalFailure()) return;
        collector = std::make_unique<PeerCollector>(peer);
    }
    void TearDown() override {
        collector.reset();
        ControllerTest::TearDown();
    }

    void selectSendMode(SendMode mode) {
        g_settings.sendMode = mode;
        controller->refreshDisplay();
    }

    // Waits until the far end holds exactly `size` bytes in all.
    bool peerReceives(size_t size) {
        return pumpUntil([&] { return collector->size() >= size; }, 10s) && collector->size() == size;
    }

    // Waits until the counter and the status line show `sent` bytes (a write reaches the far end
    // before the sender counts it) and the button offers Send again: the send has ended only
    // then, and a press before that is a Stop.
    void waitForSent(std::int64_t sent) {
        EXPECT_TRUE(pumpUntil(
            [&] {
                return controller->sentCount() == sent && itemText(IDC_STATUS_LINE) == openStatus(sent) &&
                       itemText(IDC_SEND) == "Send";
            },
            5s))
            << controller->sentCount() << " of " << sent << "; " << itemText(IDC_STATUS_LINE) << "; "
            << itemText(IDC_SEND);
    }

    // Sends one Ascii "~" and waits for it: the sender handles one send at a time, so whatever
    // the press before it did is over once the marker has arrived and been counted.
    void sendMarker() {
        selectSendMode(SendMode::Ascii);
        setItemText(IDC_SEND_BOX, "~");
        const size_t before = collector->size();
        const std::int64_t sentBefore = controller->sentCount();
        controller->onSendButton();
        ASSERT_TRUE(pumpUntil([&] { return collector->size() > before; }, 10s)) << "the marker went out";
        ASSERT_EQ(collector->bytes().back(), '~');
        waitForSent(sentBefore + 1);
    }

    // Closes the port and opens it again at another rate (the line-rate rig paces by it).
    void reopenAt(int baudRate) {
        collector.reset();
        controller->closePort();
        g_settings.baudRate = baudRate;
        openPort();
        collector = std::make_unique<PeerCollector>(peer);
    }


    std::string openStatus(std::int64_t sent) const {
        return testPortName() + ", Sent/Received bytes: " + std::to_string(sent) + "/0";
    }

    std::unique_ptr<PeerCollector> collector;
};

TEST_F(SendPathTest, AsciiSendsTheBoxByteForByte) {
    struct Row {
        const char* box;
        Bytes wire;
    };
    const Row rows[] = {
        {"hello", {'h', 'e', 'l', 'l', 'o'}},
        {"a\r\nb", {0x61, 0x0D, 0x0A, 0x62}},  // a line break of the box is CR LF
    };
    Bytes expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.box);
        setItemText(IDC_SEND_BOX, row.box);
        controller->onSendButton();
        expected.insert(expected.end(), row.wire.begin(), row.wire.end());
        ASSERT_TRUE(peerReceives(expected.size())) << collector->size();
        EXPECT_EQ(collector->bytes(), expected);
        waitForSent(static_cast<std::int64_t>(expected.size()));
    }
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "") << "nothing sent is echoed";
}

TEST_F(SendPathTest, LongTextGoesOutIn1024ByteWrites) {
    std::string text(2500, ' ');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
    setItemText(IDC_SEND_BOX, text.c_str());
    MessageCounter statusTexts(host->item(IDC_STATUS_LINE), WM_SETTEXT);
    controller->onSendButton();
    ASSERT_TRUE(peerReceives(text.size())) << collector->size();
    EXPECT_EQ(collector->bytes(), bytesOf(text));
    ASSERT_TRUE(pumpUntil([&] { return statusTexts.count() >= 3; }, 5s));
    // The status line is rewritten once per write, with the running count.
    EXPECT_EQ(statusTexts.texts(), (std::vector<std::string>{openStatus(1024), openStatus(2048), openStatus(2500)}));
}

TEST_F(SendPathTest, HexPairsBecomeBytes) {
    struct Row {
        const char* box;
        Bytes wire;
    };
    const Row rows[] = {
        {"41 42\r\n43", {0x41, 0x42, 0x43}},
        {"4142 4", {0x41, 0x42, 0x04}},  // digits pair from the start; a lone last one stands alone
        {"ff Fe 0a", {0xFF, 0xFE, 0x0A}},
    };
    selectSendMode(SendMode::Hex);
    Bytes expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.box);
        setItemText(IDC_SEND_BOX, row.box);
        controller->onSendButton();
        expected.insert(expected.end(), row.wire.begin(), row.wire.end());
        ASSERT_TRUE(peerReceives(expected.size())) << collector->size();
        EXPECT_EQ(collector->bytes(), expected);
        waitForSent(static_cast<std::int64_t>(expected.size()));
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(SendPathTest, InvalidHexReplacesTheReceiveBoxAndSendsNothing) {
    selectSendMode(SendMode::Hex);
    for (const char* box : {"0x41", "41\t42"}) {
        SCOPED_TRACE(box);
        setItemText(IDC_RECEIVE_BOX, "received earlier");
        setItemText(IDC_SEND_BOX, box);
        MessageCounter buttonTexts(host->item(IDC_SEND), WM_SETTEXT);
        controller->onSendButton();
        // The Send button refresh is the last step of the rejection.
        ASSERT_TRUE(pumpUntil([&] { return buttonTexts.count() >= 1; }, 5s));
        EXPECT_EQ(itemText(IDC_RECEIVE_BOX), kInvalidHexMessage) << "the whole content is replaced";
        EXPECT_EQ(itemText(IDC_SEND), "Send");
    }
    sendMarker();
    EXPECT_EQ(collector->bytes(), bytesOf("~")) << "the rejected texts sent nothing";
    EXPECT_EQ(controller->sentCount(), 1);
    EXPECT_TRUE(recordedMessages().empty()) << "no message box";
}

TEST_F(SendPathTest, EmptyHexBoxOnlyRefreshesTheSendButton) {
    selectSendMode(SendMode::Hex);
    setItemText(IDC_RECEIVE_BOX, "kept");
    setItemText(IDC_SEND_BOX, "");
    MessageCounter buttonTexts(host->item(IDC_SEND), WM_SETTEXT);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return buttonTexts.count() >= 1; }, 5s));
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "kept");
    sendMarker();
    EXPECT_EQ(collector->bytes(), bytesOf("~"));
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(SendPathTest, HexOf1025PairsIsAWriteOf1024ThenOne) {
    const Bytes data = patternBytes(1025, 21);
    std::string text;
    for (const std::uint8_t byte : data) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x ", byte);
        text += pair;
    }
    selectSendMode(SendMode::Hex);
    setItemText(IDC_SEND_BOX, text.c_str());
    MessageCounter statusTexts(host->item(IDC_STATUS_LINE), WM_SETTEXT);
    controller->onSendButton();
    ASSERT_TRUE(peerReceives(data.size())) << collector->size();
    EXPECT_EQ(collector->bytes(), data);
    ASSERT_TRUE(pumpUntil([&] { return statusTexts.count() >= 2; }, 5s));
    EXPECT_EQ(statusTexts.texts(), (std::vector<std::string>{openStatus(1024), openStatus(1025)}));
}

TEST_F(SendPathTest, AWholeFileIsSentAndReported) {
    struct Row {
        const char* name;
        Bytes contents;
    };
    const Row rows[] = {
        {"empty file", {}},
        {"three chunks", patternBytes(1300, 17)},  // 512 + 512 + 276
    };
    size_t expectedMessages = 0;
    std::int64_t expectedSent = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TempFile& file = newTempFile(row.contents);
        g_settings.sendFileName = file.path();
        selectSendMode(SendMode::File);
        const size_t before = collector->size();
        controller->onSendButton();
        ++expectedMessages;
        ASSERT_TRUE(pumpUntil([&] { return messageCount() == expectedMessages; }, 10s));
        EXPECT_EQ(recordedMessages().back(), kSentMessage);
        expectedSent += static_cast<std::int64_t>(row.contents.size());
        EXPECT_EQ(controller->sentCount(), expectedSent);
        EXPECT_FALSE(controller->isFileSending());
        EXPECT_EQ(itemText(IDC_SEND), "Send");
        ASSERT_TRUE(peerReceives(before + row.contents.size()));
        const Bytes received = collector->bytes();
        EXPECT_TRUE(std::equal(received.begin() + static_cast<std::ptrdiff_t>(before), received.end(),
                               row.contents.begin(), row.contents.end()));
    }
    sendMarker();
    EXPECT_EQ(collector->size(), 1301u) << "the empty file sent nothing";
}

TEST_F(SendPathTest, AFileThatCannotBeReadIsReported) {
    const TempFile& missing = newTempName();
    struct Row {
        std::string name;
        const char* message;
    };
    const Row rows[] = {
        {"", "File name is invalid!"},
        {missing.path(), "File open failed!"},
    };
    selectSendMode(SendMode::File);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        const size_t before = messageCount();
        g_settings.sendFileName = row.name;
        controller->onSendButton();
        ASSERT_TRUE(pumpUntil([&] { return messageCount() == before + 1; }, 5s));
        EXPECT_EQ(recordedMessages().back(), row.message);
        EXPECT_FALSE(controller->isFileSending());
        EXPECT_EQ(itemText(IDC_SEND), "Send");
    }
    sendMarker();
    EXPECT_EQ(collector->bytes(), bytesOf("~"));
    EXPECT_EQ(recordedMessages().size(), 2u);
}

TEST_F(SendPathTest, StopDuringAFileSendClosesTheFileSilently) {
    const Bytes contents = patternBytes(512 * 1024, 9);
    const TempFile& file = newTempFile(contents);
    g_settings.sendFileName = file.path();
    selectSendMode(SendMode::File);
    controller->onSendButton();
    ASSERT_TRUE(pumpUntil([&] { return controller->isFileSending() && collector->size() > 0; }, 5s));
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    // While the send reads it the file is open and cannot be deleted: the check below can fail.
    EXPECT_FALSE(DeleteFileA(file.path().c_str()));

    controller->onSendButton();  // Stop
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    EXPECT_FALSE(controller->isFileSending());
    sendMarker();  // the file send is over once this arrives
    EXPECT_TRUE(DeleteFileA(file.path().c_str())) << "the file was closed, error " << GetLastError();
    EXPECT_TRUE(recordedMessages().empty()) << "a stopped send ends without the success message";
    const Bytes received = collector->bytes();
    ASSERT_LT(received.size() - 1, contents.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end() - 1, contents.begin())) << "a prefix of the file";
}

TEST_F(SendPathTest, HexLoopWithAnInvalidCharacterKeepsRunning) {
    selectSendMode(SendMode::Hex);
    setItemText(IDC_SEND_BOX, "41 4G");
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    controller->refreshLoopControls();
    setItemText(IDC_LOOP_INTERVAL, "30");
    const HWND receiveBox = host->item(IDC_RECEIVE_BOX);
    MessageCounter replacements(receiveBox, WM_SETTEXT);
    controller->onSendButton();
    ASSERT_TRUE(controller->isLoopSending());

    // Every tick puts the message back, whatever the box held meanwhile.
    for (int tick = 0; tick < 3; ++tick) {
        setItemText(IDC_RECEIVE_BOX, "overwritten");
        ASSERT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == kInvalidHexMessage; }, 5s)) << tick;
    }
    EXPECT_GE(replacements.count(), 6);
    EXPECT_TRUE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    EXPECT_EQ(controller->sentCount(), 0);

    controller->onSendButton();  // Stop
    EXPECT_FALSE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    EXPECT_TRUE(recordedMessages().empty());
    EXPECT_EQ(collector->size(), 0u);
}

// On a line that takes its time, as a UART does: a write returns as its bytes leave.

TEST_F(SendPathTest, ALoopWhoseCopiesOutlastTheIntervalSendsWholeCopiesAndTheWindowKeepsAnswering) {
    const ScopedLineMode line(LineMode::LineRate);
    ASSERT_TRUE(line.ok());
    reopenAt(1200);
    std::string text(200, ' ');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    const ResponsivenessProbe probe(host->hwnd());
    // 200 bytes take 1.67 s at 1200 baud: ticks every 300 ms fall inside the copy under way.
    startLoop(text.c_str(), "300");
    ASSERT_TRUE(controller->isLoopSending());
    ASSERT_TRUE(pumpUntil([&] { return collector->size() >= 3 * text.size(); }, 20s)) << collector->size();
    EXPECT_TRUE(controller->isLoopSending());
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages()[0];

    const auto stopStart = std::chrono::steady_clock::now();
    controller->onSendButton();  // Stop, with a copy under way
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 1700ms);
    EXPECT_FALSE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    EXPECT_GE(probe.answers(), 50);
    EXPECT_LT(probe.longestMs(), 500.0) << "the window was held by the line";

    // Copy after copy, each whole, and the one Stop cut short a prefix of one; the counter says
    // what the far end got.
    ASSERT_TRUE(pumpUntil([&] { return collector->size() == static_cast<size_t>(controller->sentCount()); }, 5s));
    pumpFor(300ms);
    const Bytes received = collector->bytes();
    EXPECT_EQ(received.size(), static_cast<size_t>(controller->sentCount()));
    const Bytes copy = bytesOf(text);
    for (size_t offset = 0; offset < received.size(); offset += copy.size()) {
        const size_t length = std::min(copy.size(), received.size() - offset);
        ASSERT_TRUE(std::equal(received.begin() + offset, received.begin() + offset + length, copy.begin()))
            << "copy at " << offset << " is not whole";
    }
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(SendPathTest, ATextTakesItsLineTimeAndArrivesWholeWithoutAMessage) {
    const ScopedLineMode line(LineMode::LineRate);
    ASSERT_TRUE(line.ok());
    std::string text(4000, ' ');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('0' + i % 75);
    setItemText(IDC_SEND_BOX, text.c_str());
    const auto start = std::chrono::steady_clock::now();
    controller->onSendButton();
    EXPECT_EQ(itemText(IDC_SEND), "Stop") << "a send under way can be stopped";
    ASSERT_TRUE(pumpUntil([&] { return collector->size() >= text.size(); }, 30s)) << collector->size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double lineSeconds = text.size() * 10 / 9600.0;  // 8N1 at 9600 baud
    std::printf("4000 bytes at 9600 baud: %.2f s (line time %.2f s)\n", seconds, lineSeconds);
    EXPECT_GE(seconds, lineSeconds * 0.9) << "the line did not take its time";
    EXPECT_LE(seconds, lineSeconds * 1.6);
    EXPECT_EQ(collector->bytes(), bytesOf(text));
    waitForSent(static_cast<std::int64_t>(text.size()));
    EXPECT_TRUE(recordedMessages().empty()) << recordedMessages()[0];
}

TEST_F(SendPathTest, AWaitingTextSendOffersStopAndNothingElseGetsBetweenItsBytes) {
    const ScopedLineMode line(LineMode::LineRate);
    ASSERT_TRUE(line.ok());
    reopenAt(1200);
    std::string text(4000, ' ');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
    setItemText(IDC_SEND_BOX, text.c_str());
    controller->onSendButton();
    // 4000 bytes take 33 s at 1200 baud; a second of them goes out before the press.
    pumpFor(1s);

    // While it runs, the button stops it and a loop cannot start.
    EXPECT_TRUE(controller->isBoxSending());
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    EXPECT_FALSE(isEnabled(IDC_LOOPS));
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    setItemText(IDC_LOOP_INTERVAL, "50");
    const auto stopStart = std::chrono::steady_clock::now();
    controller->onSendButton();  // reads "Stop": it stops, it does not start a loop
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 1700ms);
    EXPECT_FALSE(controller->isLoopSending());
    EXPECT_FALSE(controller->isBoxSending());
    EXPECT_EQ(itemText(IDC_SEND), "Send");

    // What went out is told, and it is what the far end got: a prefix of the text.
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 1; }, 5s));
    const std::int64_t sent = controller->sentCount();
    ASSERT_GT(sent, 0);
    ASSERT_LT(sent, 4000);
    EXPECT_EQ(recordedMessages()[0], "The text send stopped after " + std::to_string(sent) + " of 4000 bytes.");
    ASSERT_TRUE(pumpUntil([&] { return collector->size() >= static_cast<size_t>(sent); }, 5s));
    pumpFor(300ms);
    const Bytes first = collector->bytes();
    ASSERT_EQ(first.size(), static_cast<size_t>(sent));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), text.begin()));

    // Now the loop starts, and its copies follow the cut text, whole.
    setItemText(IDC_SEND_BOX, "#");
    controller->refreshLoopControls();
    ASSERT_TRUE(isEnabled(IDC_LOOPS));
    setItemText(IDC_LOOP_INTERVAL, "50");
    controller->onSendButton();
    ASSERT_TRUE(controller->isLoopSending());
    ASSERT_TRUE(pumpUntil([&] { return collector->size() >= first.size() + 3; }, 5s));
    controller->onSendButton();  // Stop
    const Bytes all = collector->bytes();
    EXPECT_TRUE(std::all_of(all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end(),
                            [](std::uint8_t byte) { return byte == '#'; }));
    EXPECT_EQ(messageCount(), 1u);
}

}  // namespace
}  // namespace quenlet::test
