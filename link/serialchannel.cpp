#include "link/serialchannel.h"

#include "link/messages.h"

#include <array>

namespace pj::link {

namespace {
constexpr Millis kReaderWaitLimit{2000};
}

SerialChannel::SerialChannel(std::unique_ptr<SerialPort> port, Clock& clock)
    : port_(std::move(port))
    , clock_(clock) {}

SerialChannel::~SerialChannel() {
    close();
}

void SerialChannel::setMessageSink(MessageSink sink) {
    std::lock_guard lock(stateMutex_);
    sink_ = std::move(sink);
}

void SerialChannel::setReceiveHandler(ReceiveHandler handler) {
    std::lock_guard lock(stateMutex_);
    standingHandler_ = std::move(handler);
}

void SerialChannel::report(const std::string& text) {
    MessageSink sink;
    {
        std::lock_guard lock(stateMutex_);
        sink = sink_;
    }
    if (sink)
        sink(text);
}

void SerialChannel::reportDeviceLost() {
    // Whoever notices first (reader or writer) tells the user, once.
    if (!lost_.exchange(true))
        report(msg::formatMessage(msg::kPortLost, portName()));
}

OpenResult SerialChannel::open(const std::string& portName, const LineSettings& settings) {
    return openWith(portName, settings, {});
}

OpenResult SerialChannel::open(const std::string& portName, const LineSettings& settings,
                               ReceiveHandler handler) {
    return openWith(portName, settings, std::move(handler));
}

OpenResult SerialChannel::openWith(const std::string& portName, const LineSettings& settings,
                                   ReceiveHandler handler) {
    close();
    {
        std::lock_guard lock(stateMutex_);
        portName_ = portName;
        settings_ = settings;
        handler_ = std::move(handler);
    }
    if (settings.baud == 0) {
        // The write time-out arithmetic divides by the speed.
        lastOpenStatus_ = PortOpenStatus::SettingsRefused;
        report(msg::kInvalidBaud);
        return OpenResult::SettingsFailed;
    }
    const PortOpenStatus status = port_->open(portName, settings);
    lastOpenStatus_ = status;
    switch (status) {
    case PortOpenStatus::Ok:
        break;
    case PortOpenStatus::Unavailable:
    case PortOpenStatus::Busy:
    case PortOpenStatus::PermissionDenied:
        return OpenResult::Unavailable;
    case PortOpenStatus::SettingsUnreadable:
        report(msg::kGetCommStateFailed);
        return OpenResult::SettingsFailed;
    case PortOpenStatus::SettingsRefused:
        report(msg::kSettingsFailed);
        return OpenResult::SettingsFailed;
    }
    lost_ = false;
    open_ = true;
    running_ = true;
    reader_ = std::thread([this] { readerLoop(); });
    return OpenResult::Opened;
}

PortOpenStatus SerialChannel::checkLine(const std::string& portName, const LineSettings& settings) {
    close();
    PortOpenStatus status = PortOpenStatus::SettingsRefused;
    if (settings.baud != 0) {
        status = port_->open(portName, settings);
        if (status == PortOpenStatus::Ok)
            port_->close();
    }
    lastOpenStatus_ = status;
    return status;
}

PortOpenStatus SerialChannel::lastOpenStatus() const {
    return lastOpenStatus_;
}

void SerialChannel::close() {
    running_ = false;
    if (reader_.joinable()) {
        port_->wake();
        reader_.join();
    }
    if (open_.exchange(false)) {
        clock_.sleep(kCloseSettle);
        port_->purgeAll();
        port_->close();
    }
}

WriteResult SerialChannel::write(std::span<const std::uint8_t> bytes) {
    if (!open_)
        return {IoStatus::NotOpen, 0};
    if (lost_) {
        close();
        return {IoStatus::DeviceLost, 0};
    }
    const IoResult r = port_->write(bytes, kWriteLimit);
    WriteResult result{r.status, r.count};
    switch (r.status) {
    case IoStatus::DeviceLost:
        reportDeviceLost();
        close();
        return result;
    case IoStatus::TimedOut:
        report(msg::kWriteTooLong);
        break;
    case IoStatus::Failed:
        report(msg::formatMessage(msg::kWriteFailed, portName()));
        break;
    default:
        break;
    }
    clock_.sleep(kWriteSettle);
    port_->drain();
    port_->purgeOutput();
    return result;
}

void SerialChannel::readerLoop() {
    // The settle gathers a burst after its first byte. A block that filled the
    // whole 200 bytes means more was already queued: that is read at once, or
    // a line that never pauses (115200 baud, 11.5 kB/s) would outrun the
    // reader's 200 bytes per settle and overflow the driver's queue.
    bool settle = true;
    while (running_) {
        const IoStatus s = port_->waitReadable(kReaderWaitLimit);
        if (!running_)
            break;
        if (s == IoStatus::Woken || s == IoStatus::TimedOut) {
            settle = true;
            continue;
        }
        if (s == IoStatus::Ok) {
            std::size_t count = 0;
            if (readAndDeliver(settle, count)) {
                settle = count < kMaxReceiveBlock;
                continue;
            }
        }
        // The device went away (or the platform failed the wait): stop reading;
        // the controlling thread closes the port.
        reportDeviceLost();
        break;
    }
}

bool SerialChannel::readAndDeliver(bool settleFirst, std::size_t& count) {
    count = 0;
    std::lock_guard lock(readMutex_);
    if (settleFirst)
        clock_.sleep(kReadSettle); // let the rest of a burst arrive
    std::array<std::uint8_t, kMaxReceiveBlock> buf{};
    const IoResult r = port_->read(buf);
    if (r.status == IoStatus::DeviceLost || r.status == IoStatus::Failed)
        return false;
    if (r.status != IoStatus::Ok || r.count == 0)
        return true;
    count = r.count;
    ReceiveHandler handler;
    {
        std::lock_guard state(stateMutex_);
        handler = handler_ ? handler_ : standingHandler_;
    }
    if (handler)
        handler(Bytes(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(r.count)));
    return true;
}

void SerialChannel::pollReceived() {
    if (!open_ || lost_)
        return;
    for (;;) {
        std::lock_guard lock(readMutex_);
        std::array<std::uint8_t, kMaxReceiveBlock> buf{};
        IoResult r = port_->read(buf);
        if (r.status != IoStatus::Ok) {
            if (r.status == IoStatus::DeviceLost)
                reportDeviceLost();
            return;
        }
        if (r.count == 0)
            return;
        const std::size_t n = r.count;
        ReceiveHandler handler;
        {
            std::lock_guard state(stateMutex_);
            handler = handler_ ? handler_ : standingHandler_;
        }
        if (handler)
            handler(Bytes(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n)));
    }
}

bool SerialChannel::isOpen() const {
    return open_ && !lost_;
}

bool SerialChannel::deviceLost() const {
    return lost_;
}

std::string SerialChannel::portName() const {
    std::lock_guard lock(stateMutex_);
    return portName_;
}

LineSettings SerialChannel::settings() const {
    std::lock_guard lock(stateMutex_);
    return settings_;
}

std::optional<AppliedSettings> SerialChannel::appliedSettings() const {
    if (!open_)
        return std::nullopt;
    return port_->appliedSettings();
}

} // namespace pj::link
