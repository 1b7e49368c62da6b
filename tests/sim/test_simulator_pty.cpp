// The simulator on a real pty, with a plain termios client.
#include "link/posix/posixserialport.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pj::sim;
using namespace std::chrono_literals;

namespace {

int openClient(const std::string& path, speed_t speed, bool odd = false) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    if (odd)
        t.c_cflag |= PARENB | PARODD;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Whatever arrives within `wait`.
Bytes readFor(int fd, std::chrono::milliseconds wait) {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        std::uint8_t buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

void writeAll(int fd, const Bytes& b) {
    ASSERT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

std::string tempLink(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string(name) + "-" + std::to_string(::getpid())))
        .string();
}

} // namespace

TEST(SimulatorPty, AnswersProbesAtItsSpeedThroughTheSymlink) {
    SimulatorOptions opt;
    opt.answerByte = 0x31; // edition 31 at 1200
    opt.linkPath = tempLink("ccsim-probe");
    Simulator sim(opt);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    EXPECT_EQ(sim.portPath(), opt.linkPath);
    EXPECT_EQ(std::filesystem::read_symlink(opt.linkPath).string(), sim.slavePath());

    int fd = openClient(sim.portPath(), B600);
    ASSERT_GE(fd, 0);
    writeAll(fd, {0xAA});
    EXPECT_TRUE(readFor(fd, 150ms).empty());
    ::close(fd);

    fd = openClient(sim.portPath(), B1200);
    writeAll(fd, {0xAA});
    EXPECT_EQ(readFor(fd, 300ms), (Bytes{0xAA, 0x31}));
    ::close(fd);
    auto answered = sim.log().waitFor(
        [](const Event& e) { return e.kind() == "probe" && e.flag("answered") == true; }, 1s);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->number("baud"), 1200);

    sim.stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(opt.linkPath)));
}

TEST(SimulatorPty, StoresAFrameAndEchoesItOnPress) {
    SimulatorOptions opt;
    opt.answerByte = 0x07; // 2007 at 9600, colon-first, group B
    Simulator sim(opt);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;

    Bytes frame(67, 0);
    frame[0] = 0x3A;
    frame[1] = 0xFA; // group B: 19200
    frame[2] = 2;
    frame[3] = 4;
    frame[4] = 0x7E;
    frame[5] = 0x0D;
    frame[66] = 1;
    int fd = openClient(sim.portPath(), B9600);
    writeAll(fd, Bytes(frame.begin(), frame.begin() + 1));
    std::this_thread::sleep_for(350ms);
    writeAll(fd, Bytes(frame.begin() + 1, frame.end()));
    ASSERT_TRUE(sim.log().waitFor("frame", 2s));
    ::close(fd);
    ASSERT_TRUE(sim.storedKey(4));
    EXPECT_EQ(sim.storedKey(4)->projectorBaud, 19200u);

    // Nobody listening: nothing goes out.
    EXPECT_TRUE(sim.press(4).empty());

    std::size_t from = sim.log().size();
    fd = openClient(sim.portPath(), B19200);
    ASSERT_TRUE(sim.log().waitFor("line", 1s, from));
    EXPECT_EQ(sim.press(4), (Bytes{0x7E, 0x0D}));
    EXPECT_EQ(readFor(fd, 200ms), (Bytes{0x7E, 0x0D}));
    ::close(fd);

    fd = openClient(sim.portPath(), B9600);
    from = sim.log().size();
    const Bytes garbled = sim.press(4);
    EXPECT_EQ(readFor(fd, 200ms), garbled);
    auto echo = sim.log().waitFor("echo", 1s, from);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->flag("garbled"), true);
    ::close(fd);
}

TEST(SimulatorPty, UnplugLooksLikeAPulledAdapterAndReplugGivesANewPort) {
    SimulatorOptions opt;
    opt.linkPath = tempLink("ccsim-unplug");
    Simulator sim(opt);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const int fd = openClient(sim.portPath(), B1200);
    ASSERT_GE(fd, 0);

    sim.unplug();
    EXPECT_FALSE(sim.plugged());
    const std::uint8_t b = 0xAA;
    EXPECT_EQ(::write(fd, &b, 1), -1);
    EXPECT_EQ(errno, EIO);
    std::uint8_t buf[4];
    EXPECT_LE(::read(fd, buf, sizeof buf), 0);
    ::close(fd);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(opt.linkPath)));
    EXPECT_TRUE(sim.press(0).empty()); // harmless while unplugged
    ASSERT_TRUE(sim.log().waitFor("unplug", 1s));

    ASSERT_TRUE(sim.replug(error)) << error;
    EXPECT_TRUE(sim.plugged());
    const int again = openClient(sim.portPath(), B1200);
    ASSERT_GE(again, 0);
    writeAll(again, {0xAA});
    EXPECT_EQ(readFor(again, 300ms), (Bytes{0xAA, 0x11}));
    ::close(again);
}

TEST(SimulatorPty, RefusesToReplaceAFileWithItsLink) {
    const std::string path = tempLink("ccsim-file");
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    SimulatorOptions opt;
    opt.linkPath = path;
    Simulator sim(opt);
    std::string error;
    EXPECT_FALSE(sim.start(error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    std::filesystem::remove(path);

    SimulatorOptions bad;
    bad.answerByte = 0x42;
    Simulator none(bad);
    EXPECT_FALSE(none.start(error));
    EXPECT_FALSE(none.log().waitFor("ready", 10ms));
}

TEST(SimulatorPty, ReadsTheClientsSpeedAlsoWithoutASpeedConstant) {
    SimulatorOptions opt;
    opt.answerByte = 0x07;
    Simulator sim(opt);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    pj::link::PosixSerialPort client;
    for (std::uint32_t baud : {14400u, 9600u, 250000u}) {
        ASSERT_EQ(client.open(sim.portPath(), {baud, 8, 1, 1}), pj::link::PortOpenStatus::Ok)
            << baud;
        EXPECT_EQ(sim.line().baud, baud);
        EXPECT_TRUE(sim.line().parityOdd);
        EXPECT_TRUE(sim.log().waitFor(
            [baud](const Event& e) { return e.kind() == "line" && e.number("baud") == baud; }, 2s))
            << baud;
        client.close();
    }
}
