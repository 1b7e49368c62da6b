#pragma once
// Shared by the controller link tests: a channel over the in-memory port in
// virtual time, and an observer that records what a sequence reports.

#include "link/fakeserialport.h"
#include "link/observer.h"
#include "link/serialchannel.h"

#include <mutex>
#include <string>
#include <vector>

namespace pj::link::testing {

struct Recorded {
    Millis at;
    std::string what; // "progress 50", "row 0 written", "message ...", ...
};

class RecordingObserver : public SequenceObserver {
public:
    explicit RecordingObserver(Clock& clock)
        : clock_(clock) {}

    void progress(int percent) override { add("progress " + std::to_string(percent)); }
    void rowStatus(std::size_t row, RowStatus status) override {
        add("row " + std::to_string(row) +
            (status == RowStatus::Confirmed ? " confirmed" : " unconfirmed"));
    }
    void rowWritten(std::size_t row) override { add("row " + std::to_string(row) + " written"); }
    void rowRefused(std::size_t row, const std::string& reason) override {
        add("row " + std::to_string(row) + " refused " + reason);
    }
    void message(const std::string& text) override { add("message " + text); }
    void listening(std::uint32_t baud, Parity parity) override {
        add("listening " + std::to_string(baud) + " " + parityName(parity));
    }
    bool confirmApproximateBaud(std::uint32_t baud, const std::string& question) override {
        add("question " + std::to_string(baud) + " " + question);
        return answerApproximate;
    }

    std::vector<Recorded> all() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : all())
            out.push_back(e.what);
        return out;
    }
    // Progress values in order.
    std::vector<int> progressValues() const {
        std::vector<int> out;
        for (const auto& e : all()) {
            if (e.what.rfind("progress ", 0) == 0)
                out.push_back(std::stoi(e.what.substr(9)));
        }
        return out;
    }
    Millis timeOf(const std::string& what, int nth = 0) const {
        for (const auto& e : all()) {
            if (e.what == what && nth-- == 0)
                return e.at;
        }
        return Millis{-1};
    }

    bool answerApproximate = true;

private:
    void add(std::string what) {
        std::lock_guard lock(mutex_);
        events_.push_back({clock_.now(), std::move(what)});
    }
    Clock& clock_;
    mutable std::mutex mutex_;
    std::vector<Recorded> events_;
};

// A channel over a FakeSerialPort in virtual time, with its messages collected.
struct FakeLink {
    VirtualClock clock;
    FakeSerialPort* port = nullptr; // owned by the channel
    SerialChannel channel;
    mutable std::mutex mutex;
    std::vector<std::string> sunk;

    FakeLink()
        : channel(makePort(), clock) {
        channel.setMessageSink([this](const std::string& text) {
            std::lock_guard lock(mutex);
            sunk.push_back(text);
        });
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex);
        return sunk;
    }

private:
    std::unique_ptr<SerialPort> makePort() {
        auto p = std::make_unique<FakeSerialPort>(clock);
        port = p.get();
        return p;
    }
};

} // namespace pj::link::testing
