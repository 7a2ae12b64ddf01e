// The settings record: defaults, the baud-rate table and the start-up choice of the default port.
#include <gtest/gtest.h>

#include <string>

#include "core/serial_port.h"
#include "settings/port_settings.h"
#include "support/null_modem.h"

namespace quenlet {
namespace {

TEST(Settings, StartsFromTheBuiltInDefaults) {
    const PortSettings settings;
    EXPECT_EQ(settings.baudRate, 9600);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_EQ(settings.parity, Parity::None);
    EXPECT_EQ(settings.stopBits, StopBits::One);
    EXPECT_EQ(settings.flowControl, FlowControl::None);
    EXPECT_EQ(settings.sendMode, SendMode::Ascii);
    EXPECT_EQ(settings.receiveMode, ReceiveMode::Ascii);
    EXPECT_EQ(settings.alsoReceiveToFile, 0);
    EXPECT_TRUE(settings.sendFileName.empty());
    EXPECT_TRUE(settings.receiveFileName.empty());
}

TEST(Settings, EnumerationsCarryTheDeviceCodes) {
    EXPECT_EQ(static_cast<int>(Parity::Odd), ODDPARITY);
    EXPECT_EQ(static_cast<int>(Parity::Even), EVENPARITY);
    EXPECT_EQ(static_cast<int>(Parity::Mark), MARKPARITY);
    EXPECT_EQ(static_cast<int>(Parity::Space), SPACEPARITY);
    EXPECT_EQ(static_cast<int>(StopBits::OnePointFive), ONE5STOPBITS);
    EXPECT_EQ(static_cast<int>(StopBits::Two), TWOSTOPBITS);
    EXPECT_EQ(static_cast<int>(FlowControl::DtrDsr), 3);
    EXPECT_EQ(static_cast<int>(ReceiveMode::FileOnly), 2);
    EXPECT_EQ(sizeof(Parity), 4u);
}

TEST(Settings, BaudTableHoldsExactlyTheFifteenRatesInOrder) {
    const int expected[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                            19200, 38400, 56000, 57600, 115200, 128000, 256000};
    ASSERT_EQ(kBaudRates.size(), std::size(expected));
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        EXPECT_EQ(kBaudRates[i].rate, expected[i]);
        EXPECT_EQ(std::string(kBaudRates[i].text), std::to_string(expected[i]));
        EXPECT_TRUE(isSupportedBaudRate(expected[i]));
    }
    for (int rate : {0, -9600, 1000, 230400, 9601, 921600}) EXPECT_FALSE(isSupportedBaudRate(rate)) << rate;
}

TEST(Settings, FirstPresentPortWinsAndAHeldPortCounts) {
    const int port = test::testPortNumber();
    EXPECT_EQ(findFirstPresentPort(1, port), test::testPortName());
    EXPECT_EQ(findFirstPresentPort(port + 1, test::kMissingPortNumber), "");

    SerialPort holder;
    ASSERT_TRUE(holder.open(test::testDevicePath().c_str(), 9600, 8, 0, 0, 0, 1));
    EXPECT_EQ(findFirstPresentPort(1, 255), test::testPortName());
}

}  // namespace
}  // namespace quenlet
