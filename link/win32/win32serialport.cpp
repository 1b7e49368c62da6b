#include "link/win32/win32serialport.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace pj::link {

namespace {

using SteadyClock = std::chrono::steady_clock;

DWORD remainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0)
        return 0;
    // Stay below INFINITE, which would wait for ever.
    return static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
}

DWORD clampMs(Millis limit) {
    if (limit.count() <= 0)
        return 0;
    return static_cast<DWORD>(std::min<long long>(limit.count(), INFINITE - 1));
}

HANDLE makeEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr); // manual reset, not signalled
}

void closeEvent(HANDLE& h) {
    if (h != nullptr) {
        CloseHandle(h);
        h = nullptr;
    }
}

std::string describe(DWORD err) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text != nullptr) {
        const int len = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0,
                                            nullptr, nullptr);
        if (len > 0) {
            out.resize(static_cast<std::size_t>(len));
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), len, nullptr,
                                nullptr);
        }
    }
    if (text != nullptr)
        LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out + " (" + std::to_string(err) + ")";
}

} // namespace

Win32SerialPort::Win32SerialPort()
    : wakeEvent_(makeEvent())
    , waitEvent_(makeEvent())
    , readEvent_(makeEvent())
    , writeEvent_(makeEvent()) {}

Win32SerialPort::~Win32SerialPort() {
    close();
    closeEvent(wakeEvent_);
    closeEvent(waitEvent_);
    closeEvent(readEvent_);
    closeEvent(writeEvent_);
}

void Win32SerialPort::setError(const char* what, DWORD err) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::string(what) + ": " + describe(err);
}

std::string Win32SerialPort::lastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

IoStatus Win32SerialPort::failure(const char* what, DWORD err) {
    setError(what, err);
    return isDeviceGone(err) ? IoStatus::DeviceLost : IoStatus::Failed;
}

bool Win32SerialPort::isDeviceGone(DWORD err) {
    switch (err) {
    case ERROR_BAD_COMMAND:          // the driver no longer knows the request
    case ERROR_ACCESS_DENIED:        // after open: the device object was torn down
    case ERROR_OPERATION_ABORTED:    // pending transfers cancelled by the removal
    case ERROR_DEVICE_REMOVED:       //
    case ERROR_DEVICE_NOT_CONNECTED: //
    case ERROR_GEN_FAILURE:          // USB adapters pulled mid-transfer
    case ERROR_INVALID_HANDLE:       //
    case ERROR_FILE_NOT_FOUND:       //
    case ERROR_NOT_READY:            //
    case ERROR_BAD_UNIT:             //
        return true;
    default:
        return false;
    }
}

PortOpenStatus Win32SerialPort::openFailure(DWORD err) {
    if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION)
        return PortOpenStatus::Busy;
    return PortOpenStatus::Unavailable;
}

std::string Win32SerialPort::devicePath(const std::string& name) {
    if (name.rfind("\\\\.\\", 0) == 0 || name.rfind("\\\\?\\", 0) == 0)
        return name;
    return "\\\\.\\" + name;
}

COMMTIMEOUTS Win32SerialPort::timeoutsFor(std::uint32_t baud) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 1000;
    t.WriteTotalTimeoutMultiplier = baud == 0 ? 0 : 19200 / baud;
    t.WriteTotalTimeoutConstant = 1000;
    return t;
}

AppliedSettings Win32SerialPort::applyLine(DCB& dcb, const LineSettings& settings) {
    AppliedSettings a;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE; // checking on whatever the parity; without one there is nothing to check
    a.parityChecking = true;
    a.parity = parityFromCode(settings.parityCode);
    switch (a.parity) {
    case Parity::Odd:
        dcb.Parity = ODDPARITY;
        break;
    case Parity::Even:
        dcb.Parity = EVENPARITY;
        break;
    case Parity::None:
        dcb.Parity = NOPARITY;
        break;
    }
    if (settings.stopCode == 1) {
        dcb.StopBits = ONESTOPBIT;
        a.stopBits = 1;
    } else if (settings.stopCode == 2) {
        dcb.StopBits = TWOSTOPBITS;
        a.stopBits = 2;
    } else {
        a.stopBits = 0; // the port's own setting stays
    }
    dcb.BaudRate = settings.baud;
    a.baud = settings.baud;
    a.dataBits = settings.dataBits >= 5 && settings.dataBits <= 7 ? settings.dataBits : 8;
    dcb.ByteSize = static_cast<BYTE>(a.dataBits);
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    // Every byte value is data: no replacement of error bytes, no NUL stripping,
    // and a line error does not abort the following transfers.
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    a.hardwareFlowControl = false;
    a.softwareFlowControl = false;
    a.dtr = false;
    a.rts = false;
    return a;
}

PortOpenStatus Win32SerialPort::open(const std::string& name, const LineSettings& settings) {
    close();
    if (wakeEvent_ == nullptr || waitEvent_ == nullptr || readEvent_ == nullptr ||
        writeEvent_ == nullptr) {
        setError("CreateEvent", ERROR_NOT_ENOUGH_MEMORY);
        return PortOpenStatus::Unavailable;
    }
    const std::string path = devicePath(name);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        setError("CreateFile", err);
        return openFailure(err);
    }
    if (GetFileType(h) != FILE_TYPE_CHAR) {
        setError("not a serial device", ERROR_BAD_DEVICE);
        CloseHandle(h);
        return PortOpenStatus::Unavailable;
    }
    SetCommMask(h, EV_RXCHAR);
    if (!SetupComm(h, kInputQueue, kOutputQueue))
        setError("SetupComm", GetLastError()); // the driver keeps its own queues
    if (settings.baud != 0) {
        COMMTIMEOUTS t = timeoutsFor(settings.baud);
        if (!SetCommTimeouts(h, &t))
            setError("SetCommTimeouts", GetLastError()); // transfers carry their own limits
    }

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        setError("GetCommState", GetLastError());
        CloseHandle(h);
        return PortOpenStatus::SettingsUnreadable;
    }
    const DCB original = dcb;
    const AppliedSettings a = applyLine(dcb, settings);
    if (settings.baud == 0 || !SetCommState(h, &dcb)) {
        setError("SetCommState", settings.baud == 0 ? ERROR_INVALID_PARAMETER : GetLastError());
        DCB back = original;
        SetCommState(h, &back);
        CloseHandle(h);
        return PortOpenStatus::SettingsRefused;
    }
    EscapeCommFunction(h, CLRDTR);
    EscapeCommFunction(h, CLRRTS);
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);

    ResetEvent(wakeEvent_); // a wake() meant for an earlier open is void
    handle_ = h;
    original_ = original;
    haveOriginal_ = true;
    applied_ = a;
    waitPending_ = false;
    maskArmed_ = false;
    eventsBroken_ = false;
    return PortOpenStatus::Ok;
}

bool Win32SerialPort::isOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

DWORD Win32SerialPort::cancelAndCollect(OVERLAPPED& ov) {
    CancelIoEx(handle_, &ov);
    // The cancel is asynchronous; Windows writes the OVERLAPPED until the
    // event is set. A driver that never completes still gets a bounded wait:
    // closing the handle cancels what is left.
    DWORD moved = 0;
    if (WaitForSingleObject(ov.hEvent, 1000) == WAIT_OBJECT_0)
        GetOverlappedResult(handle_, &ov, &moved, FALSE);
    return moved;
}

void Win32SerialPort::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        SetCommMask(handle_, 0); // releases a pending WaitCommEvent
        if (waitPending_) {
            cancelAndCollect(waitOv_);
            waitPending_ = false;
        }
        maskArmed_ = false;
        PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        if (haveOriginal_) {
            DCB back = original_;
            SetCommState(handle_, &back); // fails harmlessly on a lost device
        }
        EscapeCommFunction(handle_, CLRDTR);
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    haveOriginal_ = false;
    applied_.reset();
}

IoResult Win32SerialPort::write(std::span<const std::uint8_t> bytes, Millis limit) {
    if (handle_ == INVALID_HANDLE_VALUE)
        return {IoStatus::NotOpen, 0};
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, nullptr)) {
        const DWORD err = GetLastError();
        if (isDeviceGone(err))
            return {failure("ClearCommError", err), 0};
    }
    if (bytes.empty())
        return {IoStatus::Ok, 0};
    const DWORD size =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
    OVERLAPPED ov{};
    ov.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    DWORD written = 0;
    if (!WriteFile(handle_, bytes.data(), size, &written, &ov)) {
        const DWORD err = GetLastError();
        if (err != ERROR_IO_PENDING)
            return {failure("WriteFile", err), 0};
        const DWORD w = WaitForSingleObject(writeEvent_, clampMs(limit));
        if (w != WAIT_OBJECT_0) {
            written = cancelAndCollect(ov);
            setError("WriteFile", WAIT_TIMEOUT);
            return {IoStatus::TimedOut, written};
        }
        if (!GetOverlappedResult(handle_, &ov, &written, FALSE))
            return {failure("WriteFile", GetLastError()), written};
    }
    if (written < bytes.size()) {
        // The driver's write time-out ended the transfer early.
        setError("WriteFile", WAIT_TIMEOUT);
        return {IoStatus::TimedOut, written};
    }
    return {IoStatus::Ok, written};
}

IoStatus Win32SerialPort::waitReadable(Millis limit) {
    if (handle_ == INVALID_HANDLE_VALUE)
        return IoStatus::NotOpen;
    const auto deadline = SteadyClock::now() + limit;
    int abortedInARow = 0;
    for (;;) {
        if (WaitForSingleObject(wakeEvent_, 0) == WAIT_OBJECT_0) {
            ResetEvent(wakeEvent_);
            return IoStatus::Woken;
        }
        // Bytes already queued (the rest of a burst a read left behind) are
        // readable now; the character event only tells of new ones.
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handle_, &errors, &stat))
            return failure("ClearCommError", GetLastError());
        if (stat.cbInQue > 0)
            return IoStatus::Ok;
        const DWORD left = remainingMs(deadline);
        if (left == 0)
            return IoStatus::TimedOut;

        if (eventsBroken_) {
            // Look at the queue again in a moment; wake() still ends the wait.
            if (WaitForSingleObject(wakeEvent_, std::min(left, kPollMs)) == WAIT_OBJECT_0) {
                ResetEvent(wakeEvent_);
                return IoStatus::Woken;
            }
            continue;
        }
        if (!waitPending_) {
            if (!maskArmed_) {
                // Line errors end the wait too; they are cleared above and the
                // wait goes on, so an error alone never reads as data. Setting
                // the mask forgets events already recorded: look at the queue
                // once more before waiting.
                SetCommMask(handle_, EV_RXCHAR | EV_ERR);
                maskArmed_ = true;
                continue;
            }
            waitOv_ = OVERLAPPED{};
            waitOv_.hEvent = waitEvent_;
            ResetEvent(waitEvent_);
            eventMask_ = 0;
            if (WaitCommEvent(handle_, &eventMask_, &waitOv_))
                continue; // an event was already recorded; look again
            const DWORD err = GetLastError();
            if (err != ERROR_IO_PENDING) {
                if (isDeviceGone(err))
                    return failure("WaitCommEvent", err);
                fallBackToPolling(err);
                continue;
            }
            // The wait stays pending across calls until an event ends it.
            waitPending_ = true;
        }
        const HANDLE handles[2] = {waitEvent_, wakeEvent_};
        const DWORD w = WaitForMultipleObjects(2, handles, FALSE, left);
        if (w == WAIT_OBJECT_0 + 1) {
            ResetEvent(wakeEvent_);
            return IoStatus::Woken;
        }
        if (w == WAIT_TIMEOUT)
            continue; // the top of the loop answers TimedOut once the queue is checked
        if (w != WAIT_OBJECT_0)
            return failure("WaitForMultipleObjects", GetLastError());
        waitPending_ = false;
        DWORD unused = 0;
        if (GetOverlappedResult(handle_, &waitOv_, &unused, FALSE)) {
            abortedInARow = 0;
            continue;
        }
        const DWORD err = GetLastError();
        if (err != ERROR_OPERATION_ABORTED)
            return failure("WaitCommEvent", err);
        // A purge from the controlling thread aborts one wait without the
        // device going away, and a removed device fails ClearCommError at the
        // top. A device that is there but aborts every new wait at once has
        // no working character event (Wine on a pseudo-terminal, some virtual
        // port drivers): going round again would only spin.
        if (++abortedInARow >= 2)
            fallBackToPolling(err);
    }
}

void Win32SerialPort::fallBackToPolling(DWORD err) {
    setError("WaitCommEvent unusable, polling the input queue", err);
    eventsBroken_ = true;
}

IoResult Win32SerialPort::read(std::span<std::uint8_t> buffer) {
    if (handle_ == INVALID_HANDLE_VALUE)
        return {IoStatus::NotOpen, 0};
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat))
        return {failure("ClearCommError", GetLastError()), 0};
    const DWORD n =
        static_cast<DWORD>(std::min<std::size_t>({buffer.size(), stat.cbInQue, 0x7fffffffu}));
    if (n == 0)
        return {IoStatus::Ok, 0};
    OVERLAPPED ov{};
    ov.hEvent = readEvent_;
    ResetEvent(readEvent_);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer.data(), n, &got, &ov)) {
        DWORD err = GetLastError();
        if (err != ERROR_IO_PENDING)
            return {failure("ReadFile", err), 0};
        // The bytes are queued, so this completes at once unless the driver
        // stalls; past the limit the read is given up with what it moved.
        if (WaitForSingleObject(readEvent_, kReadLimitMs) != WAIT_OBJECT_0)
            return {IoStatus::Ok, cancelAndCollect(ov)};
        if (!GetOverlappedResult(handle_, &ov, &got, FALSE)) {
            err = GetLastError();
            if (err == ERROR_OPERATION_ABORTED) {
                // A purge from the controlling thread, or a removal: ask the device.
                if (!ClearCommError(handle_, &errors, nullptr))
                    return {failure("ReadFile", GetLastError()), got};
                return {IoStatus::Ok, got};
            }
            return {failure("ReadFile", err), got};
        }
    }
    return {IoStatus::Ok, got};
}

void Win32SerialPort::wake() {
    if (wakeEvent_ != nullptr)
        SetEvent(wakeEvent_);
}

void Win32SerialPort::drain() {
    if (handle_ != INVALID_HANDLE_VALUE)
        FlushFileBuffers(handle_);
}

void Win32SerialPort::purgeOutput() {
    if (handle_ != INVALID_HANDLE_VALUE)
        PurgeComm(handle_, PURGE_TXCLEAR);
}

void Win32SerialPort::purgeAll() {
    if (handle_ != INVALID_HANDLE_VALUE)
        PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

std::optional<AppliedSettings> Win32SerialPort::appliedSettings() const {
    return applied_;
}

std::unique_ptr<SerialPort> makeSystemSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

} // namespace pj::link
