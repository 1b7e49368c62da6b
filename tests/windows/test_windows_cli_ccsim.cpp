// projector-cli.exe as a Windows process against the controller simulator on
// the Linux side, reached through the COM port Wine maps onto its pty: the
// command line goes through CreateProcessW as a Windows shell passes it.

#include "sim/simulator.h"

#include "link/win32/winapi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::wstring widen(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

// projector-cli.exe of this build, beside the tests' folder.
std::wstring cliPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    for (int up = 0; up < 3; ++up)
        dir.resize(dir.find_last_of(L"\\/"));
    return dir + L"\\cli\\projector-cli.exe";
}

// One run of projector-cli.exe with its output read as it comes.
class CliProcess {
public:
    // `args`: the command line after the program's name, as typed (UTF-8).
    explicit CliProcess(const std::string& args) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE outRead, outWrite, errRead, errWrite;
        CreatePipe(&outRead, &outWrite, &sa, 0);
        CreatePipe(&errRead, &errWrite, &sa, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = outWrite;
        si.hStdError = errWrite;
        std::wstring line = L"\"" + cliPath() + L"\" " + widen(args);
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &si, &pi_) != 0;
        CloseHandle(outWrite);
        CloseHandle(errWrite);
        outReader_ = std::thread([this, outRead] { drain(outRead, out_); });
        errReader_ = std::thread([this, errRead] { drain(errRead, err_); });
    }
    ~CliProcess() {
        if (started_ && wait(0ms) == STILL_ACTIVE)
            TerminateProcess(pi_.hProcess, 99);
        finish();
    }

    bool started() const { return started_; }

    // The exit code, or STILL_ACTIVE when it runs on after `limit`.
    DWORD wait(std::chrono::milliseconds limit) {
        if (!started_)
            return 255;
        WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(limit.count()));
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        if (code != STILL_ACTIVE)
            finish();
        return code;
    }

    std::string out() {
        std::lock_guard lock(mu_);
        return out_;
    }
    std::string err() {
        std::lock_guard lock(mu_);
        return err_;
    }

    // Waits until standard output or error holds `text`.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (out().find(text) != std::string::npos || err().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

private:
    void drain(HANDLE h, std::string& into) {
        char buf[1024];
        DWORD n = 0;
        while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) {
            std::lock_guard lock(mu_);
            into.append(buf, n);
        }
        CloseHandle(h);
    }
    void finish() {
        if (outReader_.joinable())
            outReader_.join();
        if (errReader_.joinable())
            errReader_.join();
        if (started_) {
            CloseHandle(pi_.hThread);
            CloseHandle(pi_.hProcess);
            started_ = false;
        }
    }

    PROCESS_INFORMATION pi_{};
    bool started_ = false;
    std::mutex mu_;
    std::string out_;
    std::string err_;
    std::thread outReader_;
    std::thread errReader_;
};

// What the simulator has logged, for a failure message.
std::string eventsSeen(const pj::sim::Simulator& sim) {
    std::string out = "events:";
    for (const auto& e : sim.log().snapshot())
        out += "\n  " + e.json();
    return out;
}

// The simulator behind the COM port, edition 21 at 600 baud, standalone.
class CliThroughComPort : public ::testing::Test {
protected:
    static pj::sim::SimulatorOptions options() {
        pj::sim::SimulatorOptions opt;
        opt.answerByte = 0x01;
        return opt;
    }
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.start(error)) << error;
        port = sim.portPath();
    }

    pj::sim::Simulator sim{options()};
    std::string port;
};

} // namespace

TEST_F(CliThroughComPort, DetectFindsTheControllerBehindAnAbsentPort) {
    CliProcess cli("detect --port COM9 --port " + port + " --json");
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.wait(30s), 0u) << cli.err();
    EXPECT_EQ(cli.out(), "{\"port\":\"" + port + "\",\"edition\":21,\"baud\":600}\n");
}

TEST_F(CliThroughComPort, AWrittenCodeIsConfirmedByTheControllersEcho) {
    CliProcess cli("write --port " + port +
                   " --edition 21 --projector-baud 9600 --code \"2:none:02 50 4f 4e 03\" "
                   "--wait-echo 30");
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(
        cli.waitForOutput("\xE7\xAD\x89\xE5\xBE\x85\xE5\x9B\x9E\xE7\xA0\x81", 30s)) // 等待回码
        << cli.out() << cli.err();
    const auto frame = sim.log().waitFor("frame", 10s);
    ASSERT_TRUE(frame) << eventsSeen(sim);
    EXPECT_EQ(frame->number("key"), 2);
    EXPECT_EQ(frame->text("code"), "02 50 4f 4e 03");
    // The client listens once its reader runs; a press before that is not heard.
    pj::sim::Bytes echo;
    for (int i = 0; i < 20 && echo.empty(); ++i) {
        echo = sim.press(2);
        if (echo.empty())
            std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(echo, (pj::sim::Bytes{0x02, 0x50, 0x4F, 0x4E, 0x03}));
    EXPECT_EQ(cli.wait(20s), 0u) << cli.out() << cli.err();
    // 第 0 行已确认
    EXPECT_NE(cli.out().find("\xE7\xAC\xAC 0 \xE8\xA1\x8C\xE5\xB7\xB2\xE7\xA1\xAE\xE8\xAE\xA4"),
              std::string::npos)
        << cli.out();
}

TEST_F(CliThroughComPort, AChineseCardNumberReachesTheControllerInGbk) {
    const std::string room = "\xE6\x95\x99\xE5\xAE\xA4"; // 教室
    CliProcess cli("card --port " + port + " --edition 21 --number " + room + "101");
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.wait(30s), 0u) << cli.err();
    // ID卡号已写入: 教室101
    EXPECT_EQ(cli.out(),
              "ID\xE5\x8D\xA1\xE5\x8F\xB7\xE5\xB7\xB2\xE5\x86\x99\xE5\x85\xA5: " + room + "101\n");
    ASSERT_TRUE(sim.log().waitFor("card", 5s));
    ASSERT_EQ(sim.cards().size(), 1u);
    EXPECT_EQ(sim.cards()[0].number,
              (pj::sim::Bytes{0xBD, 0xCC, 0xCA, 0xD2, '1', '0', '1'})); // GBK
}

TEST_F(CliThroughComPort, ACardNumberOutsideGbkIsRefusedAndNothingIsSent) {
    CliProcess cli("card --port " + port + " --edition 21 --number A\xF0\x9F\x98\x80");
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.wait(30s), 1u) << cli.out();
    EXPECT_FALSE(cli.err().empty());
    EXPECT_FALSE(sim.log().waitFor("card", 1s));
}

TEST_F(CliThroughComPort, UnpluggingTheAdapterEndsTheMonitorAsFailed) {
    CliProcess cli("monitor --port " + port + " --baud 9600 --seconds 60");
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(cli.waitForOutput("9600", 30s)) << cli.err();
    ASSERT_TRUE(sim.log().waitFor("line", 10s));
    sim.unplug();
    const DWORD code = cli.wait(20s);
    std::string error;
    EXPECT_TRUE(sim.replug(error)) << error;
    EXPECT_EQ(code, 1u) << cli.err();
    EXPECT_NE(cli.err().find("\xE5\xB7\xB2\xE6\x96\xAD\xE5\xBC\x80"), std::string::npos) // 已断开
        << cli.err();
}
