#pragma once
// A raw terminal set to VMIN = 0, VTIME = 0 answers read() with 0 when nothing
// is queued, even in non-blocking mode: 0 alone does not mean the device has
// gone. This wrapper tells the two apart (a hung-up device also reports
// readable with nothing to read) before a "lost" reaches the channel, so that
// an empty poll of a healthy port does not end an operation.

#include "link/serialport.h"

#include <memory>

namespace pj::cli {

class TtyReadGuard final : public pj::link::SerialPort {
public:
    explicit TtyReadGuard(std::unique_ptr<pj::link::SerialPort> inner)
        : inner_(std::move(inner)) {}

    pj::link::PortOpenStatus open(const std::string& name,
                                  const pj::link::LineSettings& settings) override {
        return inner_->open(name, settings);
    }
    bool isOpen() const override { return inner_->isOpen(); }
    void close() override { inner_->close(); }
    pj::link::IoResult write(std::span<const std::uint8_t> bytes, pj::link::Millis limit) override {
        return inner_->write(bytes, limit);
    }
    pj::link::IoStatus waitReadable(pj::link::Millis limit) override {
        return inner_->waitReadable(limit);
    }
    pj::link::IoResult read(std::span<std::uint8_t> buffer) override {
        using pj::link::IoStatus;
        pj::link::IoResult r = inner_->read(buffer);
        if (r.status != IoStatus::DeviceLost || r.count != 0)
            return r;
        switch (inner_->waitReadable(pj::link::Millis{0})) {
        case IoStatus::TimedOut: // nothing queued, no hang-up
            return {IoStatus::Ok, 0};
        case IoStatus::Woken: // not ours: hand the wake-up on
            inner_->wake();
            return {IoStatus::Ok, 0};
        case IoStatus::Ok: // readable: data that came just now, or a hang-up
            return inner_->read(buffer);
        default:
            return r;
        }
    }
    void wake() override { inner_->wake(); }
    void drain() override { inner_->drain(); }
    void purgeOutput() override { inner_->purgeOutput(); }
    void purgeAll() override { inner_->purgeAll(); }
    std::optional<pj::link::AppliedSettings> appliedSettings() const override {
        return inner_->appliedSettings();
    }
    std::string lastError() const override { return inner_->lastError(); }

private:
    std::unique_ptr<pj::link::SerialPort> inner_;
};

inline std::unique_ptr<pj::link::SerialPort> makeGuardedSystemPort() {
    return std::make_unique<TtyReadGuard>(pj::link::makeSystemSerialPort());
}

} // namespace pj::cli
