// The simulator's stream mode on a real pty: bytes counting up at the line
// speed, every byte accounted for at both ends, garbage for a client at
// another speed, and the counts when nobody listens or nobody reads.
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pj::sim;
using namespace std::chrono_literals;

namespace {

int openClient(const std::string& path, speed_t speed) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads everything that arrives on `fd` until stopped.
struct Reader {
    int fd;
    std::atomic<bool> stop{false};
    Bytes got;
    std::thread thread;

    explicit Reader(int f)
        : fd(f)
        , thread([this] { run(); }) {}
    ~Reader() { finish(); }
    void run() {
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            std::uint8_t buf[1024];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
        }
    }
    // Stops after the line has been quiet for a moment.
    Bytes finish() {
        if (thread.joinable()) {
            std::this_thread::sleep_for(100ms);
            stop = true;
            thread.join();
        }
        return got;
    }
};

// Waits until the simulator has seen the client's line settings.
void waitForClient(Simulator& sim) {
    for (int i = 0; i < 200 && !sim.line().clientOpen; ++i)
        std::this_thread::sleep_for(5ms);
}

std::optional<Event> waitForEnd(Simulator& sim, std::size_t from) {
    return sim.log().waitFor("stream_end", 5s, from);
}

} // namespace

TEST(SimulatorStream, atTheClientsSpeedEveryByteArrivesInOrder) {
    Simulator sim(SimulatorOptions{});
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const int fd = openClient(sim.portPath(), B115200);
    ASSERT_GE(fd, 0);
    waitForClient(sim);
    Reader reader(fd);
    const std::size_t from = sim.log().size();
    ASSERT_TRUE(sim.startStream({115200, 500ms}, error)) << error;
    ASSERT_TRUE(sim.log().waitFor("stream", 1s, from));
    const auto end = waitForEnd(sim, from);
    ASSERT_TRUE(end);
    const Bytes got = reader.finish();
    ::close(fd);

    const StreamStats s = sim.streamStats();
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.ms, 500);
    EXPECT_EQ(s.sent, 5760u); // 0.5 s of 11,520 bytes a second
    EXPECT_EQ(s.overflow, 0u);
    EXPECT_EQ(s.garbled, 0u);
    EXPECT_EQ(s.unheard, 0u);
    EXPECT_EQ(end->number("sent"), 5760);
    ASSERT_EQ(got.size(), s.sent);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], static_cast<std::uint8_t>(i)) << "at byte " << i;
}

TEST(SimulatorStream, aClientAtAnotherSpeedReceivesGarbage) {
    Simulator sim(SimulatorOptions{});
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const int fd = openClient(sim.portPath(), B9600);
    ASSERT_GE(fd, 0);
    waitForClient(sim);
    Reader reader(fd);
    const std::size_t from = sim.log().size();
    ASSERT_TRUE(sim.startStream({115200, 100ms}, error));
    ASSERT_TRUE(waitForEnd(sim, from));
    const Bytes got = reader.finish();
    ::close(fd);
    const StreamStats s = sim.streamStats();
    EXPECT_EQ(s.sent, 1152u);
    EXPECT_EQ(s.garbled, s.sent);
    ASSERT_EQ(got.size(), s.sent);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_NE(got[i], static_cast<std::uint8_t>(i)) << "at byte " << i;
}

TEST(SimulatorStream, nobodyListeningAndNobodyReadingAreCountedApart) {
    Simulator sim(SimulatorOptions{});
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    std::size_t from = sim.log().size();
    ASSERT_TRUE(sim.startStream({115200, 100ms}, error));
    ASSERT_TRUE(waitForEnd(sim, from));
    EXPECT_EQ(sim.streamStats().unheard, 1152u);
    EXPECT_EQ(sim.streamStats().sent, 0u);

    // A client that never reads: its input queue fills and the rest is lost.
    const int fd = openClient(sim.portPath(), B921600);
    ASSERT_GE(fd, 0);
    waitForClient(sim);
    from = sim.log().size();
    ASSERT_TRUE(sim.startStream({921600, 2s}, error));
    ASSERT_TRUE(waitForEnd(sim, from));
    const StreamStats s = sim.streamStats();
    EXPECT_EQ(s.sent + s.overflow, 184320u);
    EXPECT_GT(s.overflow, 0u);
    EXPECT_GT(s.sent, 0u);
    ::close(fd);
}

TEST(SimulatorStream, stopEndsItEarlyAndABadSpeedIsRefused) {
    Simulator sim(SimulatorOptions{});
    std::string error;
    EXPECT_FALSE(sim.startStream({115200, 0ms}, error)); // not started yet
    ASSERT_TRUE(sim.start(error)) << error;
    EXPECT_FALSE(sim.startStream({0, 0ms}, error));
    EXPECT_FALSE(error.empty());

    const std::size_t from = sim.log().size();
    ASSERT_TRUE(sim.startStream({115200, 0ms}, error)); // until stopped
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(sim.streamStats().running);
    sim.stopStream();
    EXPECT_FALSE(sim.streamStats().running);
    const auto end = sim.log().waitFor("stream_end", 1s, from);
    ASSERT_TRUE(end);
    EXPECT_GE(end->number("ms").value_or(0), 50); // it ran, counted to its last tick
    sim.stopStream();                             // harmless again
    sim.stop();                                   // and stopping the simulator with no stream
}
