#include "link/fakeserialport.h"

#include <algorithm>

namespace pj::link {

FakeSerialPort::FakeSerialPort(Clock& clock)
    : clock_(clock) {}

FakeSerialPort::~FakeSerialPort() = default;

void FakeSerialPort::setOpenStatus(const std::string& name, PortOpenStatus status) {
    std::lock_guard lock(mutex_);
    openStatus_[name] = status;
}

void FakeSerialPort::setDefaultOpenStatus(PortOpenStatus status) {
    std::lock_guard lock(mutex_);
    defaultStatus_ = status;
}

void FakeSerialPort::refuseSpeed(std::uint32_t baud) {
    std::lock_guard lock(mutex_);
    refusedSpeeds_.push_back(baud);
}

void FakeSerialPort::scriptWrite(std::size_t writeIndex, IoStatus status) {
    std::lock_guard lock(mutex_);
    scriptedWrites_[writeIndex] = status;
}

void FakeSerialPort::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FakeSerialPort::receive(Bytes block) {
    {
        std::lock_guard lock(mutex_);
        if (block.empty())
            return;
        received_.push_back(std::move(block));
    }
    cv_.notify_all();
}

void FakeSerialPort::unplug() {
    {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
    }
    cv_.notify_all();
}

void FakeSerialPort::replug() {
    std::lock_guard lock(mutex_);
    unplugged_ = false;
}

std::vector<FakePortEvent> FakeSerialPort::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<FakePortEvent> FakeSerialPort::writes() const {
    std::lock_guard lock(mutex_);
    std::vector<FakePortEvent> out;
    for (const auto& e : events_) {
        if (e.kind == FakePortEvent::Kind::Write)
            out.push_back(e);
    }
    return out;
}

Bytes FakeSerialPort::writtenBytes() const {
    std::lock_guard lock(mutex_);
    Bytes out;
    for (const auto& e : events_) {
        if (e.kind == FakePortEvent::Kind::Write)
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    }
    return out;
}

std::string FakeSerialPort::openedName() const {
    std::lock_guard lock(mutex_);
    return open_ ? name_ : std::string{};
}

void FakeSerialPort::clearEvents() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

// Called with mutex_ held.
void FakeSerialPort::record(FakePortEvent::Kind kind, Bytes bytes) {
    events_.push_back({kind, clock_.now(), name_, settings_, std::move(bytes)});
}

PortOpenStatus FakeSerialPort::open(const std::string& name, const LineSettings& settings) {
    std::lock_guard lock(mutex_);
    if (open_) {
        lastError_ = "already open";
        return PortOpenStatus::Unavailable;
    }
    auto it = openStatus_.find(name);
    PortOpenStatus status = it == openStatus_.end() ? defaultStatus_ : it->second;
    if (status == PortOpenStatus::Ok && std::find(refusedSpeeds_.begin(), refusedSpeeds_.end(),
                                                  settings.baud) != refusedSpeeds_.end())
        status = PortOpenStatus::SettingsRefused;
    if (unplugged_)
        status = PortOpenStatus::Unavailable;
    const std::string previousName = name_;
    const LineSettings previousSettings = settings_;
    name_ = name;
    settings_ = settings;
    if (status != PortOpenStatus::Ok) {
        record(FakePortEvent::Kind::OpenRefused);
        name_ = previousName;
        settings_ = previousSettings;
        lastError_ = "open refused by script";
        return status;
    }
    open_ = true;
    woken_ = false;
    received_.clear();
    AppliedSettings a;
    a.baud = settings.baud;
    a.dataBits = settings.dataBits;
    a.parity = parityFromCode(settings.parityCode);
    a.stopBits = settings.stopCode == 1 || settings.stopCode == 2 ? settings.stopCode : 0;
    applied_ = a;
    record(FakePortEvent::Kind::Open);
    return PortOpenStatus::Ok;
}

bool FakeSerialPort::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

void FakeSerialPort::close() {
    std::lock_guard lock(mutex_);
    if (!open_)
        return;
    record(FakePortEvent::Kind::Close);
    open_ = false;
    applied_.reset();
    received_.clear();
}

IoResult FakeSerialPort::write(std::span<const std::uint8_t> bytes, Millis limit) {
    std::unique_lock lock(mutex_);
    if (!open_)
        return {IoStatus::NotOpen, 0};
    if (unplugged_)
        return {IoStatus::DeviceLost, 0};
    const std::size_t index = writeCount_++;
    if (auto it = scriptedWrites_.find(index); it != scriptedWrites_.end()) {
        const IoStatus status = it->second;
        if (status == IoStatus::TimedOut) {
            lock.unlock();
            clock_.sleep(limit);
            return {IoStatus::TimedOut, 0};
        }
        if (status == IoStatus::DeviceLost) {
            unplugged_ = true;
            lock.unlock();
            cv_.notify_all();
            return {IoStatus::DeviceLost, 0};
        }
        if (status != IoStatus::Ok)
            return {status, 0};
    }
    record(FakePortEvent::Kind::Write, Bytes(bytes.begin(), bytes.end()));
    const FakePortEvent written = events_.back();
    Responder responder = responder_;
    lock.unlock();
    if (responder) {
        if (auto answer = responder(written))
            receive(std::move(*answer));
    }
    return {IoStatus::Ok, bytes.size()};
}

IoStatus FakeSerialPort::waitReadable(Millis limit) {
    std::unique_lock lock(mutex_);
    const bool ready = cv_.wait_for(
        lock, limit, [&] { return !open_ || unplugged_ || woken_ || !received_.empty(); });
    if (!open_)
        return IoStatus::NotOpen;
    if (woken_) {
        woken_ = false;
        return IoStatus::Woken;
    }
    if (unplugged_)
        return IoStatus::DeviceLost;
    return ready ? IoStatus::Ok : IoStatus::TimedOut;
}

IoResult FakeSerialPort::read(std::span<std::uint8_t> buffer) {
    std::lock_guard lock(mutex_);
    if (!open_)
        return {IoStatus::NotOpen, 0};
    if (unplugged_)
        return {IoStatus::DeviceLost, 0};
    if (received_.empty() || buffer.empty())
        return {IoStatus::Ok, 0};
    Bytes& front = received_.front();
    const std::size_t n = std::min(buffer.size(), front.size());
    std::copy_n(front.begin(), n, buffer.begin());
    front.erase(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(n));
    if (front.empty())
        received_.pop_front();
    return {IoStatus::Ok, n};
}

void FakeSerialPort::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    cv_.notify_all();
}

void FakeSerialPort::drain() {
    std::lock_guard lock(mutex_);
    if (open_)
        record(FakePortEvent::Kind::Drain);
}

void FakeSerialPort::purgeOutput() {
    std::lock_guard lock(mutex_);
    if (open_)
        record(FakePortEvent::Kind::PurgeOutput);
}

void FakeSerialPort::purgeAll() {
    std::lock_guard lock(mutex_);
    if (open_) {
        record(FakePortEvent::Kind::PurgeAll);
        received_.clear();
    }
}

std::optional<AppliedSettings> FakeSerialPort::appliedSettings() const {
    std::lock_guard lock(mutex_);
    return applied_;
}

std::string FakeSerialPort::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

} // namespace pj::link
