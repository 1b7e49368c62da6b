// The Win32 serial port's own decisions: the time-outs and line settings it
// asks the driver for, the device path, which errors mean an unplugged
// device, and what a port that cannot be opened answers. (Bytes on a real
// line need a COM port; see docs/windows.md.)
#include "link/gbk.h"
#include "link/serialchannel.h"
#include "link/win32/win32serialport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <numeric>
#include <thread>

using namespace pj::link;
using namespace std::chrono_literals;

namespace {

DCB portWithEverythingOn() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 4800;
    dcb.ByteSize = 7;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = FALSE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fNull = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.XonChar = 0x11;
    return dcb;
}

} // namespace

TEST(Win32Port, writeTimeOutGrowsWithSlowSpeedsOnly) {
    const struct {
        std::uint32_t baud;
        DWORD multiplier;
    } cases[] = {{600, 32}, {1200, 16}, {2400, 8}, {9600, 2}, {19200, 1}, {38400, 0}, {115200, 0}};
    for (const auto& c : cases) {
        const COMMTIMEOUTS t = Win32SerialPort::timeoutsFor(c.baud);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.multiplier) << c.baud;
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    }
    EXPECT_EQ(Win32SerialPort::timeoutsFor(0).WriteTotalTimeoutMultiplier, 0u); // no division
}

TEST(Win32Port, lineIsRawWithoutFlowControlOrModemLines) {
    DCB dcb = portWithEverythingOn();
    const AppliedSettings a = Win32SerialPort::applyLine(dcb, {19200, 8, 1, 1});
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_TRUE(dcb.fParity); // checking on, as on every open
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity);
    EXPECT_FALSE(dcb.fOutX || dcb.fInX);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_FALSE(dcb.fNull || dcb.fAbortOnError || dcb.fErrorChar); // every byte is data
    EXPECT_EQ(dcb.XonChar, 0x11); // what is not ours stays as the port had it
    EXPECT_EQ(a.baud, 19200u);
    EXPECT_EQ(a.parity, Parity::Odd);
    EXPECT_EQ(a.stopBits, 1);
    EXPECT_FALSE(a.dtr || a.rts || a.hardwareFlowControl || a.softwareFlowControl);
}

TEST(Win32Port, parityAndStopBitCodes) {
    DCB dcb = portWithEverythingOn();
    AppliedSettings a = Win32SerialPort::applyLine(dcb, {9600, 8, 2, 2});
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(a.parity, Parity::Even);
    EXPECT_EQ(a.stopBits, 2);

    // Unknown parity codes mean none; stop-bit code 0 keeps the port's setting.
    dcb = portWithEverythingOn();
    dcb.StopBits = ONE5STOPBITS;
    a = Win32SerialPort::applyLine(dcb, {600, 8, 7, 0});
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
    EXPECT_EQ(a.parity, Parity::None);
    EXPECT_EQ(a.stopBits, 0);
    a = Win32SerialPort::applyLine(dcb, {600, 8, -1, 3});
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
}

TEST(Win32Port, devicePathReachesEveryComNumber) {
    EXPECT_EQ(Win32SerialPort::devicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(Win32SerialPort::devicePath("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(Win32SerialPort::devicePath("\\\\.\\COM5"), "\\\\.\\COM5");
}

TEST(Win32Port, unpluggedDeviceErrorsAreToldFromOtherFailures) {
    using Errors = std::initializer_list<DWORD>;
    for (DWORD err : Errors{ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED,
                            ERROR_DEVICE_REMOVED, ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE})
        EXPECT_TRUE(Win32SerialPort::isDeviceGone(err)) << err;
    for (DWORD err : Errors{ERROR_IO_PENDING, ERROR_INVALID_PARAMETER, ERROR_SEM_TIMEOUT,
                            ERROR_NOT_ENOUGH_MEMORY, ERROR_SUCCESS})
        EXPECT_FALSE(Win32SerialPort::isDeviceGone(err)) << err;
}

TEST(Win32Port, aPortAnotherProgramHoldsIsBusyAndAnAbsentOneUnavailable) {
    EXPECT_EQ(Win32SerialPort::openFailure(ERROR_ACCESS_DENIED), PortOpenStatus::Busy);
    EXPECT_EQ(Win32SerialPort::openFailure(ERROR_SHARING_VIOLATION), PortOpenStatus::Busy);
    EXPECT_EQ(Win32SerialPort::openFailure(ERROR_FILE_NOT_FOUND), PortOpenStatus::Unavailable);
    EXPECT_EQ(Win32SerialPort::openFailure(ERROR_PATH_NOT_FOUND), PortOpenStatus::Unavailable);
    EXPECT_EQ(openFailureText("COM3", PortOpenStatus::Busy),
              "串口 COM3 正被其他程序占用，请先关闭占用它的程序");
}

TEST(Win32Port, portsThatCannotBeOpenedLeaveNothingOpen) {
    Win32SerialPort port;
    port.close(); // never opened
    EXPECT_EQ(port.open("COM250", {9600, 8, 0, 1}), PortOpenStatus::Unavailable);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.lastError().empty());
    EXPECT_FALSE(port.appliedSettings());
    const std::uint8_t bytes[] = {0x3A, 0xFC};
    EXPECT_EQ(port.write(bytes, 100ms).status, IoStatus::NotOpen);
    EXPECT_EQ(port.waitReadable(10ms), IoStatus::NotOpen);
    std::uint8_t buf[8];
    EXPECT_EQ(port.read(buf).status, IoStatus::NotOpen);
    port.wake(); // harmless while closed
    port.purgeAll();
    port.drain();
    port.close();
    port.close();

    // A character device that is no serial port is not taken for one.
    EXPECT_NE(port.open("NUL", {9600, 8, 0, 1}), PortOpenStatus::Ok);
    EXPECT_FALSE(port.isOpen());
    // A file is no device at all.
    EXPECT_EQ(port.open("C:\\nonexistent-dir\\COM1", {9600, 8, 0, 1}), PortOpenStatus::Unavailable);
}

TEST(Win32Port, availablePortsAreOrderedAndTheUsersOnesFollowOnce) {
    const std::vector<std::string> present = availablePorts();
    EXPECT_TRUE(std::is_sorted(present.begin(), present.end(), naturalLess));
    for (const auto& name : present)
        EXPECT_EQ(std::count(present.begin(), present.end(), name), 1) << name;

    const std::vector<std::string> extra = {"COM77", "", "COM77", "\\\\.\\COM78"};
    const std::vector<std::string> all = availablePorts(extra);
    ASSERT_EQ(all.size(), present.size() + 2);
    EXPECT_TRUE(std::equal(present.begin(), present.end(), all.begin()));
    EXPECT_EQ(all[present.size()], "COM77");
    EXPECT_EQ(all[present.size() + 1], "\\\\.\\COM78");
}

TEST(Win32Port, gbkGoesThroughCodePage936) {
    const std::string utf8 = "\xE8\xAE\xBE\xE7\xBD\xAE\xE5\xA4\xB1\xE8\xB4\xA5 OK"; // 设置失败 OK
    const auto gbk = utf8ToGbk(utf8);
    ASSERT_TRUE(gbk);
    EXPECT_EQ(*gbk, "\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC OK");
    EXPECT_EQ(gbkToUtf8(*gbk), utf8);
    EXPECT_EQ(utf8ToGbk(""), "");
    // Not representable in GBK, and not UTF-8 at all: refused, never '?'.
    EXPECT_FALSE(utf8ToGbk("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(utf8ToGbk("\xFF\xFE"));
    EXPECT_FALSE(gbkToUtf8("\x81")); // a lead byte without its second byte
}

namespace {
bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
} // namespace

// Two COM ports joined by a null-modem cable: PJ_WIN_LOOPBACK="COM5,COM6"
// (scripts/test-windows makes one from two pseudo-terminals under Wine).
// Without it these cases are skipped.
class Win32Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        const char* env = std::getenv("PJ_WIN_LOOPBACK");
        const std::string pair = env != nullptr ? env : "";
        const auto comma = pair.find(',');
        if (comma == std::string::npos)
            GTEST_SKIP() << "PJ_WIN_LOOPBACK=COMa,COMb not set";
        nameA = pair.substr(0, comma);
        nameB = pair.substr(comma + 1);
        ASSERT_EQ(a.open(nameA, k9600), PortOpenStatus::Ok) << a.lastError();
        ASSERT_EQ(b.open(nameB, k9600), PortOpenStatus::Ok) << b.lastError();
    }

    // Everything `port` receives within `limit`, up to `count` bytes.
    static Bytes receive(Win32SerialPort& port, std::size_t count,
                         std::chrono::milliseconds limit = 3000ms) {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (port.waitReadable(200ms) != IoStatus::Ok)
                continue;
            std::uint8_t buf[256];
            const IoResult r = port.read(buf);
            EXPECT_EQ(r.status, IoStatus::Ok);
            got.insert(got.end(), buf, buf + r.count);
        }
        return got;
    }

    const LineSettings k9600{9600, 8, 0, 1};
    std::string nameA;
    std::string nameB;
    Win32SerialPort a;
    Win32SerialPort b;
};

TEST_F(Win32Loopback, everyByteValueCrossesBothWays) {
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    const IoResult w = a.write(all, 2000ms);
    EXPECT_EQ(w.status, IoStatus::Ok);
    EXPECT_EQ(w.count, all.size());
    a.drain();
    EXPECT_EQ(receive(b, all.size()), all);

    const Bytes reply = {0x3A, 0xFC, 0x00, 0x11, 0x13, 0x0D, 0x0A};
    EXPECT_EQ(b.write(reply, 1000ms).status, IoStatus::Ok);
    EXPECT_EQ(receive(a, reply.size()), reply);
}

TEST_F(Win32Loopback, aBurstIsReadInBlocksAndTheRestStaysQueued) {
    Bytes burst(300);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(a.write(burst, 2000ms).status, IoStatus::Ok);
    a.drain();
    std::this_thread::sleep_for(300ms); // all of it queued at the far end
    ASSERT_EQ(b.waitReadable(2000ms), IoStatus::Ok);
    std::uint8_t block[200];
    IoResult r = b.read(block);
    ASSERT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.count, 200u);
    Bytes got(block, block + r.count);
    // No new character arrives, yet the rest is readable at once.
    ASSERT_EQ(b.waitReadable(500ms), IoStatus::Ok);
    r = b.read(block);
    got.insert(got.end(), block, block + r.count);
    EXPECT_EQ(got, burst);
    r = b.read(block);
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.count, 0u);
}

TEST_F(Win32Loopback, waitEndsByLimitOrByWakeFromAnotherThread) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.waitReadable(100ms), IoStatus::TimedOut) << b.lastError();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
    b.wake(); // before the wait
    EXPECT_EQ(b.waitReadable(2000ms), IoStatus::Woken);

    start = std::chrono::steady_clock::now();
    std::thread waker([&] {
        std::this_thread::sleep_for(100ms);
        b.wake();
    });
    EXPECT_EQ(b.waitReadable(5000ms), IoStatus::Woken);
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // The wait left pending by the wake still sees the next byte.
    const Bytes one = {0x55};
    ASSERT_EQ(a.write(one, 1000ms).status, IoStatus::Ok);
    EXPECT_EQ(receive(b, 1), one);
}

TEST_F(Win32Loopback, aPortInUseIsBusyUntilClosed) {
    Win32SerialPort other;
    const PortOpenStatus second = other.open(nameA, k9600);
    if (runningUnderWine()) {
        // Wine lets a second handle onto a device file; Windows refuses it.
        other.close();
    } else {
        EXPECT_EQ(second, PortOpenStatus::Busy);
        EXPECT_FALSE(other.isOpen());
    }
    a.close();
    a.close();
    EXPECT_EQ(other.open(nameA, {1200, 8, 2, 2}), PortOpenStatus::Ok) << other.lastError();
    const auto applied = other.appliedSettings();
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->baud, 1200u);
    EXPECT_EQ(applied->parity, Parity::Even);
    EXPECT_EQ(applied->stopBits, 2);
    other.close();
    EXPECT_FALSE(other.appliedSettings());
}

TEST_F(Win32Loopback, channelDeliversWhatThePeerSendsAndClosesWhileListening) {
    b.close();
    SystemClock clock;
    SerialChannel channel(makeSystemSerialPort(), clock);
    std::mutex mutex;
    std::condition_variable cv;
    Bytes received;
    std::vector<std::string> messages;
    channel.setMessageSink([&](const std::string& text) { messages.push_back(text); });
    ASSERT_EQ(channel.open(nameB, k9600,
                           [&](Bytes block) {
                               EXPECT_LE(block.size(), kMaxReceiveBlock);
                               std::lock_guard lock(mutex);
                               received.insert(received.end(), block.begin(), block.end());
                               cv.notify_all();
                           }),
              OpenResult::Opened);
    const Bytes echo = {0x3A, 0xFC, 0x01, 0x02};
    ASSERT_EQ(a.write(echo, 1000ms).status, IoStatus::Ok);
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(cv.wait_for(lock, 5s, [&] { return received.size() >= echo.size(); }));
        EXPECT_EQ(received, echo);
    }
    const Bytes frame(67, 0xA5);
    const WriteResult w = channel.write(frame);
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(w.written, frame.size());
    EXPECT_EQ(receive(a, frame.size()), frame);

    const auto start = std::chrono::steady_clock::now();
    channel.close(); // the reader is inside its 2 s wait
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(messages.empty());
}
