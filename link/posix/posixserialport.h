#pragma once
// termios implementation of the serial port: raw binary line, exclusive use
// (TIOCEXCL and flock), non-blocking descriptor waited on with poll(), a
// self-pipe to wake the reader, the device's own settings restored on close.
// Speeds without a B constant go through termios2 where the platform has it.

#include "link/serialport.h"

#include <atomic>
#include <mutex>
#include <termios.h>

namespace pj::link {

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;

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

    // The termios speed constant for `baud`; 0 when there is none (such speeds
    // are set by number, see link/posix/linespeed.h).
    static speed_t speedConstant(std::uint32_t baud);

private:
    void setError(const char* what, int err);

    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    termios original_{};
    bool haveOriginal_ = false;
    std::optional<AppliedSettings> applied_;
    mutable std::mutex errorMutex_;
    std::string lastError_;
};

} // namespace pj::link
