#pragma once
// Win32 implementation of the serial port: "\\.\COMn" opened exclusively for
// overlapped I/O, the line set with SetCommState, received characters waited
// for with WaitCommEvent next to a manual-reset event that wake() sets, the
// device's own settings restored and DTR cleared on close.

#include "link/serialport.h"

#include <mutex>

#include "link/win32/winapi.h"

namespace pj::link {

class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort();
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

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

    // Driver queue sizes asked for with SetupComm.
    static constexpr DWORD kInputQueue = 2048;
    static constexpr DWORD kOutputQueue = 2048;
    // How long a read of bytes already queued may take before it is given up.
    static constexpr DWORD kReadLimitMs = 2000;
    // How often a wait looks at the input queue when the driver's character
    // event does not work.
    static constexpr DWORD kPollMs = 10;

    // "COM3" -> "\\.\COM3" (the only form that reaches COM10 and up); a name
    // already in device form is kept.
    static std::string devicePath(const std::string& name);
    // Read interval without limit, read total 1000 ms, write total 1000 ms
    // plus 19200 / baud ms a byte (0 from 38400 up). `baud` must not be 0.
    static COMMTIMEOUTS timeoutsFor(std::uint32_t baud);
    // Applies `settings` on top of the device's current `dcb`: binary, parity
    // checking on, parity from its code, stop bits 1/2 or unchanged, no
    // CTS/DSR/XON/XOFF flow control, DTR and RTS disabled. Returns what was set.
    static AppliedSettings applyLine(DCB& dcb, const LineSettings& settings);
    // Errors by which Windows says the device went away after it was opened
    // (unplugged USB adapter, driver gone).
    static bool isDeviceGone(DWORD err);
    // What a failed CreateFile means: a serial port is opened by one program
    // at a time, and the next one is told "access denied" (or a sharing
    // violation): Busy. Anything else: Unavailable.
    static PortOpenStatus openFailure(DWORD err);

private:
    void setError(const char* what, DWORD err);
    // Failure of an operation: DeviceLost when the device is gone.
    IoStatus failure(const char* what, DWORD err);
    // The driver's character event does not work: waits look at the input
    // queue every kPollMs instead.
    void fallBackToPolling(DWORD err);
    // Cancels a started transfer and waits (bounded) until Windows is done with
    // its OVERLAPPED; returns the bytes it moved.
    DWORD cancelAndCollect(OVERLAPPED& ov);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE wakeEvent_ = nullptr;  // manual reset, set by wake()
    HANDLE waitEvent_ = nullptr;  // WaitCommEvent's completion
    HANDLE readEvent_ = nullptr;  // ReadFile's completion
    HANDLE writeEvent_ = nullptr; // WriteFile's completion
    OVERLAPPED waitOv_{};         // reader thread only (and close)
    DWORD eventMask_ = 0;
    bool waitPending_ = false;
    bool maskArmed_ = false;    // EV_RXCHAR | EV_ERR set since open
    bool eventsBroken_ = false; // WaitCommEvent unusable on this device
    DCB original_{};
    bool haveOriginal_ = false;
    std::optional<AppliedSettings> applied_;
    mutable std::mutex errorMutex_;
    std::string lastError_;
};

} // namespace pj::link
