// Menu and status-line texts of the display refresh.
#include <gtest/gtest.h>

#include "ui/display_texts.h"

namespace quenlet {
namespace {

TEST(DisplayTexts, PortMenuItemsNameThePort) {
    EXPECT_EQ(openMenuText("COM3"), "&Open (COM3)");
    EXPECT_EQ(closeMenuText("COM3"), "&Close (COM3)");
    EXPECT_EQ(openMenuText(""), "&Open ()");
    EXPECT_EQ(closeMenuText(""), "&Close ()");
}

TEST(DisplayTexts, ModeMenuItemsFollowTheModes) {
    EXPECT_EQ(sendMenuText(SendMode::Ascii), "&Send (ASCII)");
    EXPECT_EQ(sendMenuText(SendMode::Hex), "&Send (Hex)");
    EXPECT_EQ(sendMenuText(SendMode::File), "&Send (File)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::Ascii, false), "&Receive (ASCII)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::Ascii, true), "&Receive (ASCII + File)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::Hex, false), "&Receive (Hex)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::Hex, true), "&Receive (Hex + File)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::FileOnly, false), "&Receive (File)");
    EXPECT_EQ(receiveMenuText(ReceiveMode::FileOnly, true), "&Receive (File)");
}

TEST(DisplayTexts, StatusLineShowsCountersOnlyWhileOpen) {
    EXPECT_EQ(statusLineText(false, "COM2", 5, 7), "Ready: COM2");
    EXPECT_EQ(statusLineText(false, "", 0, 0), "Ready: ");
    EXPECT_EQ(statusLineText(true, "COM2", 0, 0), "COM2, Sent/Received bytes: 0/0");
    EXPECT_EQ(statusLineText(true, "COM1", 12, 345), "COM1, Sent/Received bytes: 12/345");
    EXPECT_EQ(statusLineText(true, "COM1", 2147483647, 1), "COM1, Sent/Received bytes: 2147483647/1");
    // Past 2 GiB the counters keep counting instead of turning negative.
    EXPECT_EQ(statusLineText(true, "COM1", 0, 4294967296LL), "COM1, Sent/Received bytes: 0/4294967296");
}

}  // namespace
}  // namespace quenlet
