#pragma once
// An in-memory serial port for tests. It records every open, close, write,
// drain and purge with the virtual time it happened, answers writes through a
// scripted responder, and can refuse to open, refuse settings, stall or fail a
// write, or lose its device.

#include "link/codetext.h"
#include "link/serialport.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace pj::link {

struct FakePortEvent {
    enum class Kind { Open, OpenRefused, Close, Write, Drain, PurgeOutput, PurgeAll };
    Kind kind = Kind::Open;
    Millis at{0};            // clock time when it happened
    std::string port;        // device name
    LineSettings settings{}; // the settings of the open in force (or asked for)
    Bytes bytes;             // Write: the bytes written
};

class FakeSerialPort final : public SerialPort {
public:
    // Times are taken from `clock`; a stalled write sleeps its limit on it.
    explicit FakeSerialPort(Clock& clock);
    ~FakeSerialPort() override;

    // --- scripting (any thread) ---
    // How an open of `name` answers; names not set answer `defaultStatus`.
    void setOpenStatus(const std::string& name, PortOpenStatus status);
    void setDefaultOpenStatus(PortOpenStatus status);
    // Opens at this speed answer SettingsRefused, as an adapter that cannot
    // make the speed does (the names' statuses come first).
    void refuseSpeed(std::uint32_t baud);
    // The write with this 0-based index (counted over the port's life) answers
    // `status`: TimedOut sleeps the limit first and writes nothing; DeviceLost
    // also unplugs the device.
    void scriptWrite(std::size_t writeIndex, IoStatus status);
    // Called for every successful write; the bytes it returns are queued as
    // one received block.
    using Responder = std::function<std::optional<Bytes>(const FakePortEvent& write)>;
    void setResponder(Responder responder);
    // Queues one received block (read hands it out whole when it fits).
    void receive(Bytes block);
    // The device goes away: waits and reads report DeviceLost, writes too; opens
    // answer Unavailable until replug().
    void unplug();
    void replug();

    // --- inspection (any thread) ---
    std::vector<FakePortEvent> events() const;
    std::vector<FakePortEvent> writes() const;
    Bytes writtenBytes() const; // every written byte in order
    std::string openedName() const;
    void clearEvents();

    // --- SerialPort ---
    PortOpenStatus open(const std::string& name, const LineSettings& settings) override;
    bool isOpen() const override;
    void close() override;
    IoResult write(std::span<const std::uint8_t> bytes, Millis limit) override;
    IoStatus waitReadable(Millis limit) override;
    IoResult read(std::span<std::uint8_t> buffer) override;
    void wake() override;
    void drain() override;
    void purgeOutput() override;
    void purgeAll() override;
    std::optional<AppliedSettings> appliedSettings() const override;
    std::string lastError() const override;

private:
    void record(FakePortEvent::Kind kind, Bytes bytes = {});

    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<std::string, PortOpenStatus> openStatus_;
    PortOpenStatus defaultStatus_ = PortOpenStatus::Ok;
    std::vector<std::uint32_t> refusedSpeeds_;
    std::map<std::size_t, IoStatus> scriptedWrites_;
    std::size_t writeCount_ = 0;
    Responder responder_;
    std::deque<Bytes> received_;
    std::vector<FakePortEvent> events_;
    bool open_ = false;
    bool unplugged_ = false;
    bool woken_ = false;
    std::string name_;
    LineSettings settings_{};
    std::optional<AppliedSettings> applied_;
    std::string lastError_;
};

} // namespace pj::link
