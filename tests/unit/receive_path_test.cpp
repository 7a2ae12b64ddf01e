// The receive path against the virtual null-modem: what each receive mode shows in the receive box,
// what it writes to the capture file and what it counts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"
#include "ui/display_texts.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// "%02X " per byte, computed here rather than by the code under test.
std::string hexPairs(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    return text;
}

// A path whose folder does not exist, so the capture file cannot be opened.
std::string pathInMissingFolder() {
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    return std::string(directory) + "quenlet-no-such-folder\\capture.bin";
}

class ReceivePathTest : public ControllerTest {
protected:
    // Chooses the receive mode as the receive settings dialog does: settings, then a refresh.
    void selectReceiveMode(ReceiveMode mode, bool alsoToFile, const std::string& captureName) {
        g_settings.receiveMode = mode;
        g_settings.alsoReceiveToFile = alsoToFile ? 1 : 0;
        g_settings.receiveFileName = captureName;
        controller->refreshDisplay();
    }

    // Writes bytes at the far end and waits until the controller has counted every one of them and
    // the status line shows it (the monitor counts a chunk before it rewrites the status line).
    void receive(const Bytes& bytes) {
        const auto expected = controller->receivedCount() + static_cast<std::int64_t>(bytes.size());
        ASSERT_TRUE(peer.write(bytes.data(), bytes.size()));
        ASSERT_TRUE(pumpUntil(
            [&] {
                return controller->receivedCount() == expected && itemText(IDC_STATUS_LINE) == openStatus(expected);
            },
            5s))
            << controller->receivedCount() << " of " << expected << "; " << itemText(IDC_STATUS_LINE);
    }

    std::string openStatus(std::int64_t received) const {
        return testPortName() + ", Sent/Received bytes: 0/" + std::to_string(received);
    }
};

TEST_F(ReceivePathTest, AsciiLeavesOutOnlyNulBytesWhileTheCaptureKeepsThem) {
    struct Row {
        std::string_view received;
        std::string shown;
    };
    const Row rows[] = {
        {{"AB\0CD", 5}, "ABCD"},
        {{"\0\0", 2}, ""},
        {{"\0E\0\0F\0", 6}, "EF"},
    };
    const TempFile& capture = newTempName();
    openPort();
    std::int64_t received = 0;
    Bytes captured;
    for (const bool alsoToFile : {false, true}) {
        selectReceiveMode(ReceiveMode::Ascii, alsoToFile, capture.path());
        ASSERT_EQ(controller->hasCaptureFile(), alsoToFile);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(alsoToFile ? "with capture: " : "without capture: ") + row.shown);
            setItemText(IDC_RECEIVE_BOX, "");
            receive(bytesOf(row.received));
            received += static_cast<std::int64_t>(row.received.size());
            if (alsoToFile) captured.insert(captured.end(), row.received.begin(), row.received.end());
            EXPECT_EQ(itemText(IDC_RECEIVE_BOX), row.shown);
            EXPECT_EQ(capture.contents(), captured);
            EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(received));
        }
    }
}

TEST_F(ReceivePathTest, HexShowsPairsWithoutLineBreaksAndCapturesTheSameText) {
    const TempFile& capture = newTempName();
    openPort();
    selectReceiveMode(ReceiveMode::Hex, true, capture.path());
    receive({0x0D, 0x0A, 0xFF});
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "0D 0A FF ");
    EXPECT_EQ(capture.contents(), bytesOf("0D 0A FF "));
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(3));
}

TEST_F(ReceivePathTest, HexPairsOfSeparateChunksRunOn) {
    openPort();
    selectReceiveMode(ReceiveMode::Hex, false, "");
    MessageCounter appends(host->item(IDC_RECEIVE_BOX), EM_REPLACESEL);
    receive({0x7F});
    receive({0x80});
    EXPECT_EQ(appends.texts(), (std::vector<std::string>{"7F ", "80 "})) << "one append per chunk";
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "7F 80 ");
}

TEST_F(ReceivePathTest, EveryByteValueThroughHex) {
    const TempFile& capture = newTempName();
    openPort();
    selectReceiveMode(ReceiveMode::Hex, true, capture.path());
    const Bytes all = allByteValues();
    receive(all);
    const std::string expected = hexPairs(all);
    ASSERT_EQ(expected.size(), 768u);
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), expected);
    EXPECT_EQ(capture.contents(), bytesOf(expected));
}

TEST_F(ReceivePathTest, AsciiLineBreaksReachTheBoxUnchanged) {
    openPort();
    const std::string text = "one\r\ntwo\nthree";
    receive(bytesOf(text));
    const HWND box = host->item(IDC_RECEIVE_BOX);
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), text) << "no line break is added or removed";
    EXPECT_EQ(SendMessageA(box, EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(box, EM_LINEINDEX, 1, 0), 5) << "CR LF ends the first line";
    EXPECT_EQ(SendMessageA(box, EM_LINEINDEX, 2, 0), 9) << "the lone LF stays and ends the second";
}

TEST_F(ReceivePathTest, FileOnlyKeepsTheBannerAndAppendsTheRawBytes) {
    const Bytes earlier = bytesOf("earlier|");
    const TempFile& capture = newTempFile(earlier);
    selectReceiveMode(ReceiveMode::FileOnly, false, capture.path());
    openPort();
    const std::string banner = std::string(kCaptureFileBanner) + capture.path();
    ASSERT_EQ(itemText(IDC_RECEIVE_BOX), banner);
    ASSERT_TRUE(controller->hasCaptureFile());

    MessageCounter appends(host->item(IDC_RECEIVE_BOX), EM_REPLACESEL);
    const Bytes all = allByteValues();
    const Bytes pattern = patternBytes(5000, 11);  // several reads of at most 1023 bytes
    receive(all);
    receive(pattern);
    EXPECT_EQ(appends.count(), 0) << "nothing is shown";
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), banner);
    Bytes expected = earlier;
    expected.insert(expected.end(), all.begin(), all.end());
    expected.insert(expected.end(), pattern.begin(), pattern.end());
    EXPECT_EQ(capture.contents(), expected) << "appended byte for byte after what the file held";
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(5256));
}

TEST_F(ReceivePathTest, AnUnopenableCaptureFileStopsOnlyTheCapture) {
    const std::string path = pathInMissingFolder();
    const std::string folder = path.substr(0, path.rfind('\\'));
    ASSERT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << folder;
    openPort();

    selectReceiveMode(ReceiveMode::Ascii, true, path);
    EXPECT_FALSE(controller->hasCaptureFile());
    receive(bytesOf("abc"));
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "abc");

    selectReceiveMode(ReceiveMode::Hex, true, path);
    receive({0x01});
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "abc01 ");

    selectReceiveMode(ReceiveMode::FileOnly, false, path);
    EXPECT_FALSE(controller->hasCaptureFile());
    receive(bytesOf("xyz"));
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), kCaptureFileBanner + path);
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(7));
    // Each of the three attempts to open the file was told, with the path and the system's reason.
    ASSERT_TRUE(pumpUntil([&] { return messageCount() == 3; }, 2s)) << messageCount();
    const std::string expected =
        "Capture file open failed: " + path + "\r\n" + PortController::formatSystemError(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(recordedMessages(), std::vector<std::string>(3, expected));
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);

    // Closing reopens the file only to close it: that attempt is not news.
    controller->closePort();
    pumpFor(200ms);
    EXPECT_EQ(messageCount(), 3u);
}

TEST_F(ReceivePathTest, ClearingTheBoxKeepsTheCounters) {
    openPort();
    receive(bytesOf("first"));
    setItemText(IDC_RECEIVE_BOX, "");  // what the receive box's Clear command does
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(5));
    EXPECT_EQ(controller->receivedCount(), 5);
    receive(bytesOf("second"));
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "second") << "new data starts at the top of the empty box";
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(11));
}

}  // namespace
}  // namespace quenlet::test
