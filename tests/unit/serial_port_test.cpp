// SerialPort against the virtual null-modem: real bytes through a pty pair under Wine, modem lines
// driven through the rig's ioctl fixture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "core/control_block.h"
#include "core/line_timing.h"
#include "core/port_failure_policy.h"
#include "core/port_notices.h"
#include "core/serial_port.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"
#include "support/null_modem.h"

namespace quenlet {
namespace {

using namespace std::chrono_literals;
using test::NullModemPeer;

bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

constexpr DWORD kControllerEventMask = 505;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(test::rigDirectory().empty()) << "the serial rig is not up (QUENLET_RIG_DIR)";
        test::setModemLines(test::testPortNumber(), {});
        ASSERT_TRUE(peer.isOpen()) << "cannot open the far end of " << test::testPortName();
    }

    bool openDefault(SerialPort& port, int baud = 9600) {
        return port.open(test::testDevicePath().c_str(), baud, 8, 0, 0, 0, 1);
    }

    // Reads from `port` until `size` bytes arrived or the limit passed.
    static std::vector<std::uint8_t> readFromPort(SerialPort& port, size_t size,
                                                  std::chrono::milliseconds limit) {
        std::vector<std::uint8_t> received;
        std::vector<std::uint8_t> chunk(1023);
        test::waitUntil(
            [&] {
                DWORD count = 0;
                if (port.read(chunk.data(), static_cast<DWORD>(chunk.size()), &count) && count > 0)
                    received.insert(received.end(), chunk.begin(), chunk.begin() + count);
                return received.size() >= size;
            },
            limit);
        return received;
    }

    static bool writeAll(SerialPort& port, const std::vector<std::uint8_t>& bytes) {
        size_t offset = 0;
        while (offset < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(1024, bytes.size() - offset));
            DWORD written = 0;
            if (!port.write(bytes.data() + offset, chunk, &written) || written == 0) return false;
            offset += written;
        }
        return true;
    }

    NullModemPeer peer;
};

TEST_F(SerialPortTest, EveryByteValueCrossesBothWaysUnchanged) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port)) << port.lastError();
    const auto bytes = test::allByteValues();

    ASSERT_TRUE(writeAll(port, bytes));
    EXPECT_EQ(peer.read(bytes.size(), 5s), bytes);

    ASSERT_TRUE(peer.write(bytes.data(), bytes.size()));
    EXPECT_EQ(readFromPort(port, bytes.size(), 5s), bytes);
}

TEST_F(SerialPortTest, SixtyFourKilobyteBurstsArriveIntact) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port, 256000)) << port.lastError();
    ASSERT_TRUE(port.setQueueSizes(10240));
    const auto outbound = test::patternBytes(64 * 1024, 7);
    const auto inbound = test::patternBytes(64 * 1024, 11);

    // The pty buffers are smaller than 64 KiB: the far end is drained (and fed) on a thread of its
    // own while this thread writes (and reads), or both sides could block on full buffers.
    {
        test::PeerCollector collector(peer);
        ASSERT_TRUE(writeAll(port, outbound)) << port.lastError();
        EXPECT_TRUE(test::waitUntil([&] { return collector.size() >= outbound.size(); }, 10s)) << collector.size();
        EXPECT_EQ(collector.bytes(), outbound);
    }

    std::thread feeder([&] {
        for (size_t sent = 0; sent < inbound.size(); sent += 1024) {
            if (!peer.write(inbound.data() + sent, std::min<size_t>(1024, inbound.size() - sent))) return;
        }
    });
    const auto atPort = readFromPort(port, inbound.size(), 10s);
    feeder.join();
    EXPECT_EQ(atPort, inbound);
}

TEST_F(SerialPortTest, QuietWaitTimesOutAsSuccessAndTheNextWaitStillWorks) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    ASSERT_TRUE(port.setEventMask(kControllerEventMask));

    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(port.waitEvent(100));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(port.takeEvents(), 0u);
        EXPECT_EQ(port.lastError(), static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_GE(elapsed, 90ms);
        EXPECT_LT(elapsed, 1500ms);
    }

    // The withdrawn wait must not poison the next one: data now wakes it.
    ASSERT_TRUE(peer.write("x"));
    bool woke = false;
    test::waitUntil(
        [&] {
            woke = port.waitEvent(100) && (port.takeEvents() & EV_RXCHAR);
            return woke;
        },
        3s);
    EXPECT_TRUE(woke);
    EXPECT_EQ(port.lastError(), 0u);
}

TEST_F(SerialPortTest, ReceivedCharacterWakesAPendingWait) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    ASSERT_TRUE(port.setEventMask(kControllerEventMask));

    struct Writer {
        NullModemPeer* peer;
        static DWORD WINAPI run(void* self) {
            Sleep(150);  // let the main thread enter its wait first
            return static_cast<Writer*>(self)->peer->write("A") ? 0 : 1;
        }
    } writer{&peer};
    UniqueHandle thread(CreateThread(nullptr, 0, &Writer::run, &writer, 0, nullptr));
    ASSERT_TRUE(thread.valid());

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.waitEvent(5000));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(port.takeEvents() & EV_RXCHAR);
    EXPECT_EQ(port.takeEvents(), 0u) << "a second take must be empty";
    EXPECT_LT(elapsed, 2s);
    WaitForSingleObject(thread.get(), 5000);
    EXPECT_EQ(readFromPort(port, 1, 2s), std::vector<std::uint8_t>{'A'});
}

TEST_F(SerialPortTest, BytesAWaitTookComeFirstAndACancelledWaitLosesNothing) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    ASSERT_TRUE(port.setEventMask(kControllerEventMask));
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> piece(3);
    const auto readAll = [&] {
        return test::waitUntil(
            [&] {
                DWORD count = 0;
                if (port.read(piece.data(), static_cast<DWORD>(piece.size()), &count))
                    received.insert(received.end(), piece.begin(), piece.begin() + count);
                return received.size() >= sent.size();
            },
            3s);
    };

    // Bytes that arrive while a wait is pending wake it; the next reads, three bytes at a time,
    // hand them out in order, the one the wait took first.
    for (int round = 0; round < 5; ++round) {
        const std::vector<std::uint8_t> bytes = test::patternBytes(10, round);
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        std::thread writer([&] {
            Sleep(50);
            peer.write(bytes.data(), bytes.size());
        });
        const bool woke = port.waitEvent(3000) && (port.takeEvents() & EV_RXCHAR);
        writer.join();
        ASSERT_TRUE(woke) << "round " << round;
        ASSERT_TRUE(readAll()) << "round " << round << ": " << received.size() << " of " << sent.size();
    }

    // A wait cancelled as a byte arrives (as closing a stuck port does) either took the byte or
    // left it queued: the next read has it either way.
    for (int round = 0; round < 20; ++round) {
        const std::uint8_t byte = static_cast<std::uint8_t>('a' + round);
        sent.push_back(byte);
        std::thread waiter([&] { port.waitEvent(INFINITE); });
        Sleep(20);
        peer.write(&byte, 1);
        CancelIoEx(port.handle(), nullptr);
        waiter.join();
        ASSERT_TRUE(readAll()) << "cancelled round " << round << ": " << received.size() << " of " << sent.size();
    }
    EXPECT_EQ(received, sent);
}

TEST_F(SerialPortTest, ReadOfEmptyQueueReturnsNothingAtOnce) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    std::vector<std::uint8_t> buffer(1023);
    DWORD count = 12345;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.read(buffer.data(), 1023, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(port.lastError(), 0u);
}

TEST_F(SerialPortTest, BaudRateTableIsCheckedBeforeTheDeviceIsTouched) {
    SerialPort holder;
    ASSERT_TRUE(openDefault(holder));

    SerialPort port;
    // A missing port leaves a known error code behind.
    EXPECT_FALSE(port.open("\\\\.\\COM9", 9600, 8, 0, 0, 0, 1));
    const DWORD missing = port.lastError();
    EXPECT_NE(missing, 0u);

    // Were the device touched, the held port would answer access denied.
    EXPECT_FALSE(port.open(test::testDevicePath().c_str(), 1000, 8, 0, 0, 0, 1));
    EXPECT_EQ(port.lastError(), missing);
    EXPECT_FALSE(port.isOpen());

    holder.close();
    for (int rate : {128000, 256000, 110, 115200}) {
        EXPECT_TRUE(port.open(test::testDevicePath().c_str(), rate, 8, 0, 0, 0, 1)) << rate;
        EXPECT_EQ(port.lastError(), 0u);
    }
}

TEST_F(SerialPortTest, OpeningAnOpenPortClosesTheOldHandleFirst) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    // The device is exclusive: the second open only succeeds if the first handle was closed.
    ASSERT_TRUE(openDefault(port)) << port.lastError();
    EXPECT_TRUE(port.isOpen());

    // Also when the new open fails.
    EXPECT_FALSE(port.open("\\\\.\\COM9", 9600, 8, 0, 0, 0, 1));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.handle(), nullptr);
    SerialPort other;
    EXPECT_TRUE(openDefault(other)) << "the old handle was left open: " << other.lastError();
}

TEST_F(SerialPortTest, CloseOfAClosedPortKeepsTheErrorCode) {
    SerialPort port;
    EXPECT_TRUE(port.close());
    EXPECT_EQ(port.lastError(), 0u);
    EXPECT_FALSE(port.open("\\\\.\\COM9", 9600, 8, 0, 0, 0, 1));
    const DWORD code = port.lastError();
    ASSERT_NE(code, 0u);
    EXPECT_TRUE(port.close());
    EXPECT_EQ(port.lastError(), code);

    ASSERT_TRUE(openDefault(port));
    EXPECT_TRUE(port.close());
    EXPECT_EQ(port.lastError(), 0u);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, HeldPortIsRefusedWithAccessDenied) {
    SerialPort holder;
    ASSERT_TRUE(openDefault(holder));
    SerialPort port;
    EXPECT_FALSE(openDefault(port));
    EXPECT_EQ(port.lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(port.handle(), nullptr);
}

TEST_F(SerialPortTest, ModemLinesFollowTheFarEndAndRaiseTheirEvents) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    ASSERT_TRUE(port.setEventMask(kControllerEventMask));
    EXPECT_EQ(port.isCtsOn(), 0);
    EXPECT_EQ(port.isDsrOn(), 0);
    EXPECT_EQ(port.isRingOn(), 0);
    EXPECT_EQ(port.isRlsdOn(), 0);

    struct Case {
        test::ModemLines lines;
        DWORD event;
        int (SerialPort::*query)();
    };
    const Case cases[] = {
        {{.cts = true}, EV_CTS, &SerialPort::isCtsOn},
        {{.dsr = true}, EV_DSR, &SerialPort::isDsrOn},
        {{.ring = true}, EV_RING, &SerialPort::isRingOn},
        {{.rlsd = true}, EV_RLSD, &SerialPort::isRlsdOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        for (bool on : {true, false}) {
            ASSERT_TRUE(test::setModemLines(test::testPortNumber(), on ? c.lines : test::ModemLines{}));
            DWORD seen = 0;
            test::waitUntil(
                [&] {
                    if (port.waitEvent(100)) seen |= port.takeEvents();
                    return (seen & c.event) != 0;
                },
                3s);
            EXPECT_TRUE(seen & c.event) << "event missing after turning the line " << (on ? "on" : "off");
            EXPECT_EQ((port.*c.query)(), on ? 1 : 0);
            EXPECT_EQ(port.lastError(), 0u);
        }
    }
}

TEST_F(SerialPortTest, EventsOutsideTheMaskAreNotReported) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    ASSERT_TRUE(port.setEventMask(EV_CTS));
    ASSERT_TRUE(peer.write("data"));
    ASSERT_TRUE(test::setModemLines(test::testPortNumber(), {.cts = true}));
    DWORD seen = 0;
    test::waitUntil(
        [&] {
            if (port.waitEvent(100)) seen |= port.takeEvents();
            return (seen & EV_CTS) != 0;
        },
        3s);
    EXPECT_EQ(seen, static_cast<DWORD>(EV_CTS));
}

TEST_F(SerialPortTest, FlowControlPresetsReachTheControlBlock) {
    SerialPort port;
    ASSERT_TRUE(openDefault(port));
    DCB before{};
    before.DCBlength = sizeof before;
    ASSERT_TRUE(GetCommState(port.handle(), &before));

    // An unknown preset writes the block back unchanged and still succeeds.
    ASSERT_TRUE(port.setFlowControl(4));
    DCB after{};
    after.DCBlength = sizeof after;
    ASSERT_TRUE(GetCommState(port.handle(), &after));
    EXPECT_EQ(after.fOutxCtsFlow, before.fOutxCtsFlow);
    EXPECT_EQ(after.fOutxDsrFlow, before.fOutxDsrFlow);
    EXPECT_EQ(after.fOutX, before.fOutX);
    EXPECT_EQ(after.fInX, before.fInX);

    ASSERT_TRUE(port.setFlowControl(1));
    ASSERT_TRUE(GetCommState(port.handle(), &after));
    EXPECT_EQ(after.fOutX, 1u);
    EXPECT_EQ(after.fInX, 1u);
    EXPECT_EQ(after.XonChar, 0x11);
    EXPECT_EQ(after.XoffChar, 0x13);

    ASSERT_TRUE(port.setFlowControl(2));
    ASSERT_TRUE(GetCommState(port.handle(), &after));
    EXPECT_EQ(after.fOutxCtsFlow, 1u);
    // Wine rebuilds fRtsControl from the RTS line, which is on: it reads back as ENABLE there.
    EXPECT_EQ(after.fRtsControl,
              static_cast<DWORD>(runningUnderWine() ? RTS_CONTROL_ENABLE : RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(after.fOutX, 0u);

    ASSERT_TRUE(port.setFlowControl(0));
    ASSERT_TRUE(GetCommState(port.handle(), &after));
    EXPECT_EQ(after.fOutxCtsFlow, 0u);
    EXPECT_EQ(after.fOutxDsrFlow, 0u);
    EXPECT_EQ(after.fOutX, 0u);
    EXPECT_EQ(after.fInX, 0u);
}

TEST_F(SerialPortTest, LineParametersReachTheDevice) {
    SerialPort port;
    ASSERT_TRUE(port.open(test::testDevicePath().c_str(), 19200, 7, 2, 0, 0, 1)) << port.lastError();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST_F(SerialPortTest, PortExistsForPresentHeldAndMissingPorts) {
    EXPECT_TRUE(SerialPort::portExists(test::testPortNumber()));
    EXPECT_FALSE(SerialPort::portExists(test::kMissingPortNumber));
    EXPECT_EQ(GetLastError(), 0u);

    SerialPort holder;
    ASSERT_TRUE(openDefault(holder));
    SetLastError(1234);
    EXPECT_TRUE(SerialPort::portExists(test::testPortNumber()));
    EXPECT_EQ(GetLastError(), 0u);
    holder.close();

    // The probe never leaves the port open behind it.
    SerialPort port;
    EXPECT_TRUE(openDefault(port)) << port.lastError();
}

// The rules the port's limits follow, computed without a device.

TEST(LineRules, AWriteLimitCoversItsBytesLineTimeAtEveryRateAndStaysNearIt) {
    for (const auto& entry : kBaudRates) {
        for (const LineFrame frame : {LineFrame{entry.rate, 8, 0, 0}, LineFrame{entry.rate, 8, 2, 2},
                                      LineFrame{entry.rate, 5, 0, 1}}) {
            const double byteMs = 1000.0 * bitsPerCharacter(frame) / entry.rate;
            for (const DWORD size : {1u, 11u, 120u, 200u, 1024u}) {
                const DWORD limit = writeLimitMs(frame, size);
                // A slow line is not a held one: the bytes' own line time always fits.
                EXPECT_GE(limit, kWriteLimitMs + byteMs * size) << entry.rate << " baud, " << size << " bytes";
                // A held line is still found: the limit is the line time and a second, give or take a
                // millisecond a byte of rounding.
                EXPECT_LE(limit, kWriteLimitMs + (byteMs + 1) * size) << entry.rate << " baud, " << size << " bytes";
            }
        }
    }
    // The cases a flat second cut short on a real port.
    EXPECT_GE(writeLimitMs({9600, 8, 0, 0}, 1024), 2067u);
    EXPECT_GE(writeLimitMs({1200, 8, 0, 0}, 120), 2000u);
    EXPECT_GE(writeLimitMs({110, 8, 0, 0}, 11), 2000u);
    EXPECT_EQ(bitsPerCharacter({9600, 7, 2, 2}), 11.0);
    EXPECT_EQ(bitsPerCharacter({9600, 5, 0, 1}), 7.5);
}

TEST(LineRules, AWriteNeverCarriesMoreLineTimeThanStopWaitsFor) {
    // Down to 9600 baud the send box still goes out in writes of 1024 bytes.
    EXPECT_EQ(writeChunkBytes({9600, 8, 0, 0}, 1024, 1500), 1024u);
    EXPECT_EQ(writeChunkBytes({256000, 8, 0, 0}, 512, 1500), 512u);
    EXPECT_EQ(writeChunkBytes({1200, 8, 0, 0}, 1024, 1500), 180u);
    EXPECT_EQ(writeChunkBytes({110, 8, 0, 0}, 1024, 1500), 16u);
    EXPECT_EQ(writeChunkBytes({110, 8, 2, 2}, 1024, 100), 1u) << "at least a byte";
    for (const auto& entry : kBaudRates) {
        const LineFrame frame{entry.rate, 8, 0, 0};
        const DWORD chunk = writeChunkBytes(frame, 1024, 1500);
        EXPECT_LE(chunk * 1000.0 / bytesPerSecond(frame), 1500.0) << entry.rate;
    }
}

TEST(LineRules, TheQueueIsReadBeforeItCanRunHalfFull) {
    constexpr DWORD kHandOver = 90;
    // The driver's full 10 KiB queue: every 90 ms is soon enough at every rate.
    for (const auto& entry : kBaudRates) {
        EXPECT_EQ(queueReadIntervalMs({entry.rate, 8, 0, 0}, 10240, kHandOver), kHandOver) << entry.rate;
    }
    // A driver that grants less: the reads come before half of it can fill at the line's rate.
    struct Case {
        int rate;
        DWORD queue;
        DWORD expected;
    };
    for (const Case& c : {Case{256000, 4096, 40}, Case{256000, 1024, 10}, Case{115200, 1024, 22},
                          Case{115200, 4096, 88}, Case{57600, 4096, 90}, Case{9600, 64, 16}, Case{256000, 16, 1}}) {
        const LineFrame frame{c.rate, 8, 0, 0};
        const DWORD interval = queueReadIntervalMs(frame, c.queue, kHandOver);
        EXPECT_EQ(interval, c.expected) << c.rate << " baud, queue " << c.queue;
        // Two reads in the time half the queue fills (a millisecond at least).
        EXPECT_LE(interval * bytesPerSecond(frame) / 1000, std::max<double>(c.queue / 4.0, bytesPerSecond(frame) / 1000))
            << c.rate << " baud, queue " << c.queue;
    }
}

TEST(LineRules, OpenSetsEveryFieldThatWouldDropOrChangeBytes) {
    // What another program may have left in the driver's block: every field that eats bytes on.
    DCB left{};
    left.DCBlength = sizeof left;
    left.fBinary = 0;
    left.fNull = 1;
    left.fErrorChar = 1;
    left.ErrorChar = '?';
    left.fDsrSensitivity = 1;
    left.fAbortOnError = 1;
    left.fParity = 1;
    left.fOutX = 1;
    left.fInX = 1;
    left.fOutxCtsFlow = 1;
    left.fRtsControl = RTS_CONTROL_HANDSHAKE;

    DCB dcb = left;
    setLineParameters(dcb, 57600, 7, static_cast<int>(Parity::None), static_cast<int>(StopBits::Two));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.fParity, 0u) << "no parity to check";
    setLineParameters(dcb, 9600, 8, static_cast<int>(Parity::Even), static_cast<int>(StopBits::One));
    EXPECT_EQ(dcb.fParity, 1u) << "parity errors are reported, the bytes kept";
    EXPECT_EQ(dcb.fErrorChar, 0u);

    // The flow presets keep setting their own fields; None lets XON and XOFF bytes through.
    ASSERT_TRUE(setFlowPreset(dcb, static_cast<unsigned>(FlowControl::None)));
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    const DCB before = dcb;
    EXPECT_FALSE(setFlowPreset(dcb, 4));
    EXPECT_EQ(std::memcmp(&dcb, &before, sizeof dcb), 0) << "an unknown preset leaves the block";
}

TEST(LineRules, EveryFailureCodeIsPassingUnsupportedOrALoss) {
    // A driver's own time-out codes and an aborted transfer (a cancel, or a line error on a device
    // that aborts on errors) leave the device usable.
    for (const DWORD code : std::vector<DWORD>{ERROR_TIMEOUT, ERROR_SEM_TIMEOUT, WAIT_TIMEOUT,
                                               ERROR_COUNTER_TIMEOUT, ERROR_OPERATION_ABORTED}) {
        EXPECT_EQ(classifyFailure(code), FailureKind::Passing) << code;
    }
    // A request the device does not support: it lacks the feature.
    for (const DWORD code : std::vector<DWORD>{ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION, ERROR_INVALID_PARAMETER}) {
        EXPECT_EQ(classifyFailure(code), FailureKind::Unsupported) << code;
    }
    // What a vanished device gives: on Windows, and under Wine for a pty whose far end is gone.
    for (const DWORD code : std::vector<DWORD>{ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE,
                                               ERROR_DEVICE_REMOVED, ERROR_INVALID_HANDLE, ERROR_NOT_READY,
                                               ERROR_FILE_NOT_FOUND}) {
        EXPECT_EQ(classifyFailure(code), FailureKind::Lost) << code;
    }
}

TEST(LineRules, AnOverrunSaysWhereTheBytesWereLost) {
    EXPECT_EQ(overrunText("COM5", CE_RXOVER),
              "Bytes were lost on COM5: the driver's input queue overflowed. What arrived since is shown and "
              "counted as it came.");
    EXPECT_NE(overrunText("COM5", CE_OVERRUN).find("the port's hardware overflowed"), std::string::npos);
    EXPECT_NE(overrunText("COM7", CE_OVERRUN | CE_RXOVER).find("queue and the port's hardware"), std::string::npos);
}

}  // namespace
}  // namespace quenlet
