// One contract for every serial port implementation, run with the in-memory
// port and with the termios port on a pseudo-terminal (the pty master plays
// the controller; closing it is what an unplugged adapter looks like). Then
// what only the real port can show: exclusive use, the settings a pty keeps,
// restoring the device on close, and the channel over a real descriptor.
#include "link/fakeserialport.h"
#include "link/posix/linespeed.h"
#include "link/posix/posixserialport.h"
#include "link/serialchannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pj::link;
using namespace std::chrono_literals;

namespace {

// A forked process that runs `body` and stays alive (holding what it opened)
// until the object goes; `status`, when given, receives the body's result
// right away and the child ends at once.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body, int* status = nullptr) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int r = body();
            [[maybe_unused]] const auto n = ::write(fds[1], &r, sizeof r);
            if (!status) {
                for (;;)
                    ::pause();
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        int r = -1;
        ready_ = pid_ > 0 && ::read(fds[0], &r, sizeof r) == sizeof r && (status || r == 0);
        ::close(fds[0]);
        if (status) {
            *status = r;
            reap();
        }
    }
    ~ChildProcess() { reap(); }
    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }

private:
    void reap() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    pid_t pid_ = -1;
    bool ready_ = false;
};

class PortRig {
public:
    virtual ~PortRig() = default;
    virtual SerialPort& port() = 0;
    virtual std::string name() = 0;
    virtual std::string absentName() = 0;
    virtual void peerSend(const Bytes& bytes) = 0;
    // What the port wrote, waiting until `n` bytes have come or 2 s passed.
    virtual Bytes peerReceive(std::size_t n) = 0;
    virtual void unplug() = 0;
};

class FakeRig final : public PortRig {
public:
    FakeRig()
        : port_(clock_) {
        port_.setOpenStatus("/dev/absent", PortOpenStatus::Unavailable);
    }
    SerialPort& port() override { return port_; }
    std::string name() override { return "/dev/ttyFAKE0"; }
    std::string absentName() override { return "/dev/absent"; }
    void peerSend(const Bytes& bytes) override { port_.receive(bytes); }
    Bytes peerReceive(std::size_t) override {
        Bytes all = port_.writtenBytes();
        Bytes fresh(all.begin() + static_cast<std::ptrdiff_t>(taken_), all.end());
        taken_ = all.size();
        return fresh;
    }
    void unplug() override { port_.unplug(); }

private:
    SystemClock clock_;
    FakeSerialPort port_;
    std::size_t taken_ = 0;
};

class PtyRig final : public PortRig {
public:
    PtyRig() {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        name_ = ::ttyname(slave_);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyRig() override {
        port_.close();
        if (master_ >= 0)
            ::close(master_);
        ::close(slave_);
    }
    SerialPort& port() override { return port_; }
    std::string name() override { return name_; }
    std::string absentName() override { return "/dev/ttyUSB-absent-for-test"; }
    void peerSend(const Bytes& bytes) override {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    Bytes peerReceive(std::size_t n) override {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            std::uint8_t buf[512];
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r > 0)
                out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    void unplug() override {
        ::close(master_);
        master_ = -1;
    }
    int slaveFd() const { return slave_; }
    int masterFd() const { return master_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
    PosixSerialPort port_;
};

enum class RigKind { Fake, Pty };

std::unique_ptr<PortRig> makeRig(RigKind kind) {
    if (kind == RigKind::Fake)
        return std::make_unique<FakeRig>();
    return std::make_unique<PtyRig>();
}

class PortContract : public ::testing::TestWithParam<RigKind> {
protected:
    void SetUp() override { rig = makeRig(GetParam()); }
    std::unique_ptr<PortRig> rig;
};

const LineSettings k9600{9600, 8, 0, 1};

} // namespace

TEST_P(PortContract, absentDeviceIsUnavailableAndCloseIsHarmless) {
    SerialPort& p = rig->port();
    EXPECT_EQ(p.open(rig->absentName(), k9600), PortOpenStatus::Unavailable);
    EXPECT_FALSE(p.isOpen());
    p.close();
    p.close();
    EXPECT_EQ(p.write(Bytes{1}, 100ms).status, IoStatus::NotOpen);
    EXPECT_EQ(p.waitReadable(10ms), IoStatus::NotOpen);
    EXPECT_FALSE(p.appliedSettings());
}

TEST_P(PortContract, bytesGoOutUnchangedInBothDirections) {
    SerialPort& p = rig->port();
    ASSERT_EQ(p.open(rig->name(), k9600), PortOpenStatus::Ok);
    // Bytes a cooked terminal would translate or swallow.
    const Bytes awkward{0x3A, 0x0A, 0x0D, 0x00, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x1A};
    const IoResult w = p.write(awkward, 1000ms);
    EXPECT_EQ(w.status, IoStatus::Ok);
    EXPECT_EQ(w.count, awkward.size());
    p.drain();
    EXPECT_EQ(rig->peerReceive(awkward.size()), awkward);

    rig->peerSend(awkward);
    ASSERT_EQ(p.waitReadable(2000ms), IoStatus::Ok);
    std::this_thread::sleep_for(20ms);
    std::uint8_t buf[64];
    const IoResult r = p.read(buf);
    ASSERT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(Bytes(buf, buf + r.count), awkward);
}

TEST_P(PortContract, readTakesAtMostItsBufferAndLeavesTheRestQueued) {
    SerialPort& p = rig->port();
    ASSERT_EQ(p.open(rig->name(), k9600), PortOpenStatus::Ok);
    Bytes burst(300);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<std::uint8_t>(i * 7);
    rig->peerSend(burst);
    ASSERT_EQ(p.waitReadable(2000ms), IoStatus::Ok);
    std::this_thread::sleep_for(20ms);
    std::uint8_t buf[200];
    IoResult r = p.read(buf);
    ASSERT_EQ(r.count, 200u);
    Bytes got(buf, buf + r.count);
    ASSERT_EQ(p.waitReadable(2000ms), IoStatus::Ok); // the rest is still there
    r = p.read(buf);
    got.insert(got.end(), buf, buf + r.count);
    EXPECT_EQ(got, burst);
    // Nothing queued: no block and no error. A raw terminal answers read()
    // with 0 here, which must not pass for a lost device.
    r = p.read(buf);
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.count, 0u);
}

TEST_P(PortContract, waitEndsByLimitOrByWakeFromAnotherThread) {
    SerialPort& p = rig->port();
    ASSERT_EQ(p.open(rig->name(), k9600), PortOpenStatus::Ok);
    EXPECT_EQ(p.waitReadable(30ms), IoStatus::TimedOut);
    p.wake(); // a wake before the wait is kept
    EXPECT_EQ(p.waitReadable(2000ms), IoStatus::Woken);
    std::thread waker([&] {
        std::this_thread::sleep_for(30ms);
        p.wake();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.waitReadable(5000ms), IoStatus::Woken);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    waker.join();
}

TEST_P(PortContract, appliedSettingsRecordWhatWasAsked) {
    SerialPort& p = rig->port();
    ASSERT_EQ(p.open(rig->name(), {1200, 8, 2, 2}), PortOpenStatus::Ok);
    auto a = p.appliedSettings();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->baud, 1200u);
    EXPECT_EQ(a->parity, Parity::Even);
    EXPECT_EQ(a->stopBits, 2);
    EXPECT_FALSE(a->dtr || a->rts || a->hardwareFlowControl || a->softwareFlowControl);
    p.close();
    ASSERT_EQ(p.open(rig->name(), {115200, 8, 7, 0}), PortOpenStatus::Ok);
    a = p.appliedSettings();
    EXPECT_EQ(a->parity, Parity::None);
    EXPECT_EQ(a->stopBits, 0);
    p.close();
    EXPECT_FALSE(p.appliedSettings());
}

TEST_P(PortContract, bytesThatArrivedBeforeTheOpenAreDropped) {
    SerialPort& p = rig->port();
    rig->peerSend(Bytes{0xAA, 0x01, 0x0D}); // stale: the device held them already
    ASSERT_EQ(p.open(rig->name(), k9600), PortOpenStatus::Ok);
    EXPECT_EQ(p.waitReadable(100ms), IoStatus::TimedOut);
    std::uint8_t buf[16];
    EXPECT_EQ(p.read(buf).count, 0u);
    rig->peerSend(Bytes{0x42}); // what comes now still arrives
    ASSERT_EQ(p.waitReadable(2000ms), IoStatus::Ok);
    const IoResult r = p.read(buf);
    EXPECT_EQ(Bytes(buf, buf + r.count), Bytes{0x42});
}

TEST_P(PortContract, unpluggedDeviceFailsWaitsReadsAndWritesWithoutHanging) {
    SerialPort& p = rig->port();
    ASSERT_EQ(p.open(rig->name(), k9600), PortOpenStatus::Ok);
    rig->unplug();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.waitReadable(2000ms), IoStatus::DeviceLost);
    std::uint8_t buf[8];
    EXPECT_EQ(p.read(buf).status, IoStatus::DeviceLost);
    EXPECT_EQ(p.write(Bytes(64, 0x55), 1000ms).status, IoStatus::DeviceLost);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    p.close();
    p.close();
}

INSTANTIATE_TEST_SUITE_P(Ports, PortContract, ::testing::Values(RigKind::Fake, RigKind::Pty),
                         [](const auto& param) {
                             return param.param == RigKind::Fake ? std::string("fake")
                                                                 : std::string("pty");
                         });

// --- only the termios port ---------------------------------------------------

TEST(TermiosPort, aPortInUseAnswersBusyUntilReleased) {
    PtyRig rig;
    PosixSerialPort other;
    ASSERT_EQ(rig.port().open(rig.name(), k9600), PortOpenStatus::Ok);
    EXPECT_EQ(other.open(rig.name(), k9600), PortOpenStatus::Busy);
    rig.port().close();
    EXPECT_EQ(other.open(rig.name(), k9600), PortOpenStatus::Ok);
}

TEST(TermiosPort, aPortAnotherProgramHoldsIsBusyAndTheProgramIsNamed) {
    PtyRig rig;
    ChildProcess holder([&] {
        auto* p = new PosixSerialPort; // held open until the child is killed
        return p->open(rig.name(), k9600) == PortOpenStatus::Ok ? 0 : 1;
    });
    ASSERT_TRUE(holder.ready());
    PosixSerialPort mine;
    EXPECT_EQ(mine.open(rig.name(), k9600), PortOpenStatus::Busy);
    const std::string text = openFailureText(rig.name(), PortOpenStatus::Busy);
    EXPECT_EQ(text.rfind("串口 " + rig.name() + " 正被 ", 0), 0u) << text;
    EXPECT_NE(text.find("（PID " + std::to_string(holder.pid()) + "）"), std::string::npos) << text;
}

TEST(TermiosPort, aDeviceTheUserMayNotOpenSaysHowToGetTheRight) {
    PtyRig rig;
    // As root every device opens: the child gives up root first. Otherwise the
    // device is made unreadable to its owner for the while.
    const bool root = ::geteuid() == 0;
    struct stat before {};
    ASSERT_EQ(::stat(rig.name().c_str(), &before), 0);
    if (!root) {
        ASSERT_EQ(::chmod(rig.name().c_str(), 0), 0);
    }
    int status = -1;
    ChildProcess child(
        [&] {
            if (root &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                return 2;
            PosixSerialPort p;
            return static_cast<int>(p.open(rig.name(), k9600));
        },
        &status);
    if (!root)
        ::chmod(rig.name().c_str(), before.st_mode & 07777);
    ASSERT_EQ(status, static_cast<int>(PortOpenStatus::PermissionDenied));
    const std::string text = openFailureText(rig.name(), PortOpenStatus::PermissionDenied);
    EXPECT_EQ(text.rfind("没有权限打开串口 " + rig.name() + "。", 0), 0u) << text;
    EXPECT_NE(text.find("sudo usermod -aG "), std::string::npos) << text;
    EXPECT_NE(text.find("重新登录"), std::string::npos) << text;
}

TEST(TermiosPort, permissionHelpNamesTheGroupThatMayReadAndWrite) {
    char path[] = "/tmp/pj-perm-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::chmod(path, 0660);
    // The file's group: dialout where it can be given, else the user's own.
    std::string owningGroup;
    const struct group* dialout = ::getgrnam("dialout");
    if (dialout && ::chown(path, static_cast<uid_t>(-1), dialout->gr_gid) == 0)
        owningGroup = "dialout";
    struct stat st {};
    ::stat(path, &st);
    if (owningGroup.empty() && st.st_gid != 0) {
        const struct group* own = ::getgrgid(st.st_gid);
        owningGroup = own ? own->gr_name : std::to_string(st.st_gid);
    }
    const std::string help = permissionHelp(path);
    ::chmod(path, 0600);
    const std::string onlyOwner = permissionHelp(path);
    ::unlink(path);
    if (!owningGroup.empty()) {
        EXPECT_NE(help.find("sudo usermod -aG " + owningGroup + " $USER"), std::string::npos)
            << help;
    }
    // A device only its owner may use has to be given to the group first.
    EXPECT_NE(onlyOwner.find("0600"), std::string::npos) << onlyOwner;
    EXPECT_NE(onlyOwner.find("dialout"), std::string::npos) << onlyOwner;
}

TEST(TermiosPort, ptyKeepsSpeedStopBitsAndOddButTheRecordKeepsTheParityAsked) {
    PtyRig rig;
    ASSERT_EQ(rig.port().open(rig.name(), {19200, 8, 1, 2}), PortOpenStatus::Ok);
    termios t{};
    ASSERT_EQ(::tcgetattr(rig.slaveFd(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(rig.port().appliedSettings()->parity, Parity::Odd);
}

TEST(TermiosPort, closeRestoresTheDevicesOwnSettings) {
    PtyRig rig;
    termios before{};
    ASSERT_EQ(::tcgetattr(rig.slaveFd(), &before), 0);
    ASSERT_EQ(rig.port().open(rig.name(), {600, 8, 0, 1}), PortOpenStatus::Ok);
    rig.port().close();
    termios after{};
    ASSERT_EQ(::tcgetattr(rig.slaveFd(), &after), 0);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
}

TEST(TermiosPort, speedsWithoutAConstantAreSetByNumberAndZeroIsRefused) {
    PtyRig rig;
    for (std::uint32_t baud : {14400u, 12345u, 250000u}) {
        ASSERT_EQ(rig.port().open(rig.name(), {baud, 8, 0, 1}), PortOpenStatus::Ok) << baud;
        EXPECT_EQ(posix::lineSpeed(rig.slaveFd()), baud);
        EXPECT_EQ(rig.port().appliedSettings()->baud, baud);
        rig.port().close();
    }
    EXPECT_EQ(posix::lineSpeed(rig.slaveFd()), 38400u); // the device's own speed is back
    EXPECT_EQ(rig.port().open(rig.name(), {0, 8, 0, 1}), PortOpenStatus::SettingsRefused);
    EXPECT_FALSE(rig.port().isOpen());
    EXPECT_EQ(rig.port().open("/dev/null", k9600), PortOpenStatus::Unavailable);
    EXPECT_EQ(rig.port().open(rig.name(), k9600), PortOpenStatus::Ok); // nothing left locked
    EXPECT_EQ(posix::lineSpeed(rig.slaveFd()), 9600u);
}

TEST(TermiosPort, writeGivesUpAtItsLimitWhenTheOutputDoesNotDrain) {
    PtyRig rig;
    ASSERT_EQ(rig.port().open(rig.name(), k9600), PortOpenStatus::Ok);
    // The peer reads nothing: the pty's queue fills and stays full.
    const Bytes lots(1 << 20, 0x55);
    std::promise<IoResult> done;
    auto result = done.get_future();
    std::thread writer([&] { done.set_value(rig.port().write(lots, 200ms)); });
    const bool ended = result.wait_for(10s) == std::future_status::ready;
    if (!ended)
        rig.unplug(); // release a write that never gives up, so the test can end
    writer.join();
    ASSERT_TRUE(ended) << "the write did not give up at its limit";
    const IoResult r = result.get();
    EXPECT_EQ(r.status, IoStatus::TimedOut);
    EXPECT_GT(r.count, 0u);
    EXPECT_LT(r.count, lots.size());
}

TEST(TermiosChannel, echoOverAPtyAndAnUnplugWhileListening) {
    auto rig = std::make_unique<PtyRig>();
    SystemClock clock;
    SerialChannel channel(std::make_unique<PosixSerialPort>(), clock);
    std::mutex m;
    std::condition_variable cv;
    std::vector<Bytes> blocks;
    std::vector<std::string> messages;
    channel.setMessageSink([&](const std::string& t) {
        std::lock_guard lock(m);
        messages.push_back(t);
        cv.notify_all();
    });
    channel.setReceiveHandler([&](Bytes b) {
        std::lock_guard lock(m);
        blocks.push_back(std::move(b));
        cv.notify_all();
    });
    ASSERT_EQ(channel.open(rig->name(), {9600, 8, 2, 1}), OpenResult::Opened);
    EXPECT_EQ(channel.appliedSettings()->parity, Parity::Even);
    EXPECT_TRUE(channel.write(Bytes{0x3A, 0xFC}).ok());
    EXPECT_EQ(rig->peerReceive(2), (Bytes{0x3A, 0xFC}));

    rig->peerSend(Bytes{0xA0, 0x01, 0x0D}); // one burst is one block
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 2s, [&] { return !blocks.empty(); }));
        EXPECT_EQ(blocks[0], (Bytes{0xA0, 0x01, 0x0D}));
    }

    const std::string name = rig->name();
    rig->unplug();
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 2s, [&] { return !messages.empty(); }));
        EXPECT_EQ(messages[0], "串口 " + name + " 已断开");
    }
    EXPECT_EQ(channel.write(Bytes{1}).status, IoStatus::DeviceLost);
    channel.close();
    channel.close();

    auto fresh = std::make_unique<PtyRig>();
    ASSERT_EQ(channel.open(fresh->name(), {9600, 8, 0, 1}), OpenResult::Opened);
    EXPECT_TRUE(channel.write(Bytes{0x5A}).ok());
    EXPECT_EQ(fresh->peerReceive(1), Bytes{0x5A});
    channel.close();
    std::lock_guard lock(m);
    EXPECT_EQ(messages.size(), 1u);
}

TEST(TermiosChannel, unplugBetweenWritesFailsTheNextWriteAtOnce) {
    PtyRig rig;
    SystemClock clock;
    SerialChannel channel(std::make_unique<PosixSerialPort>(), clock);
    std::vector<std::string> messages;
    std::mutex m;
    channel.setMessageSink([&](const std::string& t) {
        std::lock_guard lock(m);
        messages.push_back(t);
    });
    ASSERT_EQ(channel.open(rig.name(), {1200, 8, 0, 1}), OpenResult::Opened);
    EXPECT_TRUE(channel.write(Bytes{0x3A}).ok());
    rig.unplug();
    const auto start = std::chrono::steady_clock::now();
    const WriteResult w = channel.write(Bytes(66, 0));
    EXPECT_EQ(w.status, IoStatus::DeviceLost);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(channel.isOpen());
    std::lock_guard lock(m);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "串口 " + rig.name() + " 已断开");
}

TEST(PortNames, shortNamesStandForDevicePathsAndPathsStayWhole) {
    EXPECT_EQ(portShortName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(portFromShortName("ttyUSB0"), "/dev/ttyUSB0");
    // A simulator's link or any other path is shown and kept whole.
    EXPECT_EQ(portShortName("/tmp/pj/ttyPJ0"), "/tmp/pj/ttyPJ0");
    EXPECT_EQ(portFromShortName("/tmp/pj/ttyPJ0"), "/tmp/pj/ttyPJ0");
    EXPECT_EQ(portFromShortName("./ttyPJ0"), "./ttyPJ0");
    // Deeper device paths survive the round trip.
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    EXPECT_EQ(portFromShortName(portShortName(byId)), byId);
    EXPECT_EQ(portShortName("/dev/"), "/dev/");
    EXPECT_EQ(portFromShortName(""), "");
}
