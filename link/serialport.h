#pragma once
// The seam between the controller link and the platform's serial devices. A
// SerialPort is one device at a time; SerialChannel drives it. The POSIX
// (termios) implementation lives in link/posix/, the Win32 one in link/win32/,
// an in-memory one for tests in link/fakeserialport.h.

#include "link/clock.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pj::link {

// What a caller asks for. Codes as the controller link has always used them.
struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;
    int parityCode = 0; // 0 none, 1 odd, 2 even; any other value means none
    int stopCode = 1;   // 1 one stop bit, 2 two; any other value keeps the port's setting
};

enum class Parity { None, Odd, Even };

// Parity code to parity: 1 odd, 2 even, everything else none.
Parity parityFromCode(int parityCode);
// "none", "odd", "even" (for logs and the command-line tool's JSON).
const char* parityName(Parity parity);

// What the port layer really applied. A pseudo-terminal clears PARENB whatever
// is asked, so tests look here to see the parity the program requested.
struct AppliedSettings {
    std::uint32_t baud = 0;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;           // 1 or 2; 0 when the port's own setting was kept
    bool parityChecking = true; // input parity checking flag
    bool hardwareFlowControl = false;
    bool softwareFlowControl = false;
    bool dtr = false;
    bool rts = false;
};

enum class PortOpenStatus {
    Ok,
    Unavailable,        // absent or not a serial device
    Busy,               // another program holds the device
    PermissionDenied,   // the user may not open the device
    SettingsUnreadable, // the device opened but its line settings could not be read
    SettingsRefused,    // the device opened but refused the line settings
};

// The device itself could be had (it opened, whether or not it took the
// settings): Ok, SettingsUnreadable, SettingsRefused.
bool deviceOpened(PortOpenStatus status);

// What the user reads when `port` could not be opened with `status` (Chinese,
// UTF-8): no port set, absent, busy (naming the program that holds it where
// the platform tells), permission missing with how to get it, settings refused.
std::string openFailureText(const std::string& port, PortOpenStatus status);

enum class IoStatus {
    Ok,         // write: all bytes written; waitReadable: data can be read
    TimedOut,   // the limit passed
    Woken,      // waitReadable was released by wake()
    NotOpen,    // no device open
    DeviceLost, // the device went away (hang-up, EIO, end of file)
    Failed,     // any other error of the platform
};

struct IoResult {
    IoStatus status = IoStatus::NotOpen;
    std::size_t count = 0; // bytes written or read
};

// One serial device. Threads: one controlling thread calls open, close, write,
// drain and purge; one reader thread may call waitReadable and read at the same
// time; wake() may be called from any thread. close() is only called when no
// reader is inside waitReadable/read.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens `name` exclusively and applies `settings` (raw binary line, no flow
    // control, DTR and RTS off). On any status but Ok the device is left closed.
    virtual PortOpenStatus open(const std::string& name, const LineSettings& settings) = 0;
    virtual bool isOpen() const = 0;
    // Restores the device's original settings and closes it. Harmless when closed.
    virtual void close() = 0;

    // Writes all of `bytes`, giving up when `limit` has passed (TimedOut, with
    // `count` the bytes written so far).
    virtual IoResult write(std::span<const std::uint8_t> bytes, Millis limit) = 0;
    // Blocks until data can be read (Ok), `limit` passes (TimedOut), wake() is
    // called (Woken), or the device goes away (DeviceLost). A wake() that came
    // before the wait makes the next wait return Woken at once.
    virtual IoStatus waitReadable(Millis limit) = 0;
    // Reads what is there now, at most buffer.size() bytes, without blocking;
    // Ok with count 0 when nothing is queued.
    virtual IoResult read(std::span<std::uint8_t> buffer) = 0;
    // Releases a waitReadable in another thread.
    virtual void wake() = 0;

    // Waits until the output queue has gone out on the line.
    virtual void drain() = 0;
    // Empties the output queue / both queues.
    virtual void purgeOutput() = 0;
    virtual void purgeAll() = 0;

    // The settings applied by the last successful open; nullopt when closed.
    virtual std::optional<AppliedSettings> appliedSettings() const = 0;
    // The platform's description of the last failure (for diagnostics).
    virtual std::string lastError() const = 0;
};

// The platform's port implementation (termios on POSIX, Win32 on Windows).
std::unique_ptr<SerialPort> makeSystemSerialPort();

// Serial ports really present on this machine, in natural order ("ttyUSB2"
// before "ttyUSB10"), followed by the `extra` names the user gave that are not
// among them (in the user's order, duplicates dropped). On Linux: /dev/ttyUSB*,
// /dev/ttyACM* and /dev/ttyS* with a device behind them; legacy UART nodes
// without hardware are skipped. On Windows: the ports listed under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM ("COM3").
std::vector<std::string> availablePorts(std::span<const std::string> extra = {});

// The platform's part of openFailureText. permissionHelp: how the user gets
// the right to open `port` (on Linux the group that owns the device and the
// usermod line; empty where the platform has no such advice). portHolder: the
// program holding `port` ("minicom（PID 812）"), empty when it cannot be told.
std::string permissionHelp(const std::string& port);
std::string portHolder(const std::string& port);

// One port tried: whether it could be had just now, and if not, why.
struct PortCheck {
    std::string name;
    PortOpenStatus status = PortOpenStatus::Unavailable;
};

// Tries to open each of `names` exclusively with `port` (default line settings)
// and closes it again; in the order given.
std::vector<PortCheck> checkPorts(SerialPort& port, std::span<const std::string> names);

// The ports present now and `extra`, each tried with the platform's port.
std::vector<PortCheck> checkPresentPorts(std::span<const std::string> extra = {});

// Natural order of port names: runs of digits compare by value.
bool naturalLess(const std::string& a, const std::string& b);

// The name a person reads and types for a port in a narrow field: "ttyUSB0"
// for "/dev/ttyUSB0" on Linux; Windows names ("COM3") stay as they are.
std::string portShortName(const std::string& port);
// The port a short name stands for: "ttyUSB0" is "/dev/ttyUSB0" on Linux; a
// path ("/tmp/ttyPJ0", "./ttyPJ0") and every Windows name stay as they are.
std::string portFromShortName(const std::string& text);

} // namespace pj::link
