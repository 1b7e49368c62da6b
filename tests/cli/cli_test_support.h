#pragma once
// projector-cli commands run in-process: streams to strings, and a port the
// test keeps while the command's channel uses it.

#include "cli/command.h"
#include "cli/link_commands.h"
#include "link/fakeserialport.h"

#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace pj::cli::testing {

// Hands every call on to a port the test owns.
class SharedPort final : public pj::link::SerialPort {
public:
    explicit SharedPort(pj::link::SerialPort& p)
        : p_(p) {}
    pj::link::PortOpenStatus open(const std::string& n, const pj::link::LineSettings& s) override {
        return p_.open(n, s);
    }
    bool isOpen() const override { return p_.isOpen(); }
    void close() override { p_.close(); }
    pj::link::IoResult write(std::span<const std::uint8_t> b, pj::link::Millis l) override {
        return p_.write(b, l);
    }
    pj::link::IoStatus waitReadable(pj::link::Millis l) override { return p_.waitReadable(l); }
    pj::link::IoResult read(std::span<std::uint8_t> b) override { return p_.read(b); }
    void wake() override { p_.wake(); }
    void drain() override { p_.drain(); }
    void purgeOutput() override { p_.purgeOutput(); }
    void purgeAll() override { p_.purgeAll(); }
    std::optional<pj::link::AppliedSettings> appliedSettings() const override {
        return p_.appliedSettings();
    }
    std::string lastError() const override { return p_.lastError(); }

private:
    pj::link::SerialPort& p_;
};

// Virtual time with a hook on every sleep (to make things happen "later").
// The hook runs only on the thread that made the clock (the test's, which runs
// the command): the channel's reader thread sleeps on the same clock to let a
// burst settle, and a hook run there would act at any point of the command,
// between a line check and the open that follows it, say, whose open then
// drops what the hook had the port receive.
class HookClock final : public pj::link::Clock {
public:
    pj::link::Millis now() override { return inner.now(); }
    void sleep(pj::link::Millis d) override {
        inner.sleep(d);
        if (onSleep && std::this_thread::get_id() == owner_)
            onSleep();
    }
    pj::link::VirtualClock inner;
    std::function<void()> onSleep;

private:
    std::thread::id owner_ = std::this_thread::get_id();
};

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }
};

using LinkCommandFn = int (*)(const std::vector<std::string>&, Io&, const LinkEnv&);

inline CliRun runCommand(LinkCommandFn fn, const std::vector<std::string>& args,
                         const LinkEnv& env) {
    std::ostringstream out, err;
    std::istringstream in;
    Io io{out, err, in};
    CliRun r;
    r.code = fn(args, io, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

} // namespace pj::cli::testing
