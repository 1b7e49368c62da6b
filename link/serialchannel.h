#pragma once
// The one connection to the controller's serial port, with its reader thread.
// Every controller operation closes the channel and reopens it with the line
// settings it needs; while it is open the reader hands each received block (at
// most 200 bytes, gathered by a 20 ms settle after the first byte) to a
// receive handler as a copy of its own.

#include "link/clock.h"
#include "link/codetext.h"
#include "link/serialport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pj::link {

enum class OpenResult : int {
    SettingsFailed = 0, // opened but not configurable; a message went to the sink
    Opened = 1,         // open, configured, reader running
    Unavailable = 2,    // absent or in use; no message
};

struct WriteResult {
    IoStatus status = IoStatus::NotOpen; // Ok, TimedOut, NotOpen, DeviceLost, Failed
    std::size_t written = 0;
    bool ok() const { return status == IoStatus::Ok; }
};

constexpr std::size_t kMaxReceiveBlock = 200;
constexpr Millis kWriteLimit{1000};
constexpr Millis kWriteSettle{50};
constexpr Millis kReadSettle{20};
constexpr Millis kCloseSettle{20};

class SerialChannel {
public:
    // Called on the reader thread (or the thread calling pollReceived) with a
    // block of 1..200 bytes the handler owns. It must not call close() or open(),
    // nor wait for the thread that closes the channel (close joins the reader):
    // post the block on, don't block. What it refers to must live until the
    // channel is closed.
    using ReceiveHandler = std::function<void(Bytes block)>;
    // Failure texts for the user (Chinese, UTF-8). Called on the thread where
    // the failure happened (the reader thread for a device lost while listening).
    using MessageSink = std::function<void(const std::string& text)>;

    SerialChannel(std::unique_ptr<SerialPort> port, Clock& clock);
    ~SerialChannel(); // closes
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    void setMessageSink(MessageSink sink);
    // The standing handler, used by open() without a handler of its own (the
    // main panel's echo matching and receive monitor).
    void setReceiveHandler(ReceiveHandler handler);

    // Opens `portName` with `settings` and starts the reader. A speed of 0 is
    // refused with "波特率无效" (result SettingsFailed). Settings that cannot be
    // read give "GetCommState Failed", settings refused "设置失败". On any
    // result but Opened the channel is left closed.
    OpenResult open(const std::string& portName, const LineSettings& settings);
    // The same with a handler for this open only (the detection scan).
    OpenResult open(const std::string& portName, const LineSettings& settings,
                    ReceiveHandler handler);

    // Whether `portName` takes `settings`, tried before anything is written: the
    // channel is closed, the device opened with the settings and closed again
    // at once (no reader, nothing sent, no message). A speed of 0 answers
    // SettingsRefused without touching the device.
    PortOpenStatus checkLine(const std::string& portName, const LineSettings& settings);
    // Why the last open or checkLine failed (Ok after a success).
    PortOpenStatus lastOpenStatus() const;

    // Stops and joins the reader (it is woken, never killed), purges and closes
    // the port. Harmless on a closed channel and when called twice. A device
    // lost before stays lost (deviceLost) until the next successful open.
    void close();

    // Writes `bytes`: completion limit 1000 ms (past it the message
    // "写串口时间过长，目前串口发送缓冲区中的数据数目为空"), then a 50 ms settle,
    // drain and output purge. NotOpen at once, nothing sent, on a closed channel.
    // A device that has gone away gives DeviceLost and the message naming the
    // port ("串口 %1 已断开"); the channel closes itself and can be opened again.
    WriteResult write(std::span<const std::uint8_t> bytes);

    // Reads and delivers, on the calling thread, whatever can be read right now,
    // in blocks of at most 200 bytes. Afterwards every byte that had arrived
    // before the call has reached a handler (the reader's blocks included).
    void pollReceived();

    bool isOpen() const;
    // True after the device went away, until the next successful open (close
    // does not forget it: an operation asks after closing).
    bool deviceLost() const;
    std::string portName() const;                           // of the current/last open
    LineSettings settings() const;                          // asked for by the current open
    std::optional<AppliedSettings> appliedSettings() const; // nullopt when closed

    Clock& clock() { return clock_; }
    SerialPort& port() { return *port_; }

private:
    OpenResult openWith(const std::string& portName, const LineSettings& settings,
                        ReceiveHandler handler);
    void readerLoop();
    // False when the device went away; `count` receives the bytes delivered.
    bool readAndDeliver(bool settleFirst, std::size_t& count);
    void report(const std::string& text);
    void reportDeviceLost();

    std::unique_ptr<SerialPort> port_;
    Clock& clock_;

    mutable std::mutex stateMutex_; // names, handlers, sink
    std::string portName_;
    LineSettings settings_{};
    ReceiveHandler standingHandler_;
    ReceiveHandler handler_;
    MessageSink sink_;

    std::mutex readMutex_; // one reader of the port at a time
    std::thread reader_;
    std::atomic<bool> running_{false};
    std::atomic<bool> open_{false};
    std::atomic<bool> lost_{false};
    std::atomic<PortOpenStatus> lastOpenStatus_{PortOpenStatus::Ok};
};

} // namespace pj::link
