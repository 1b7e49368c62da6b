#pragma once
// The classroom controller on a pseudo-terminal. The client (the code writer,
// projector-cli, a test) opens the pty's slave as its serial port; the simulator
// sits on the master, reads the client's line settings through it, and behaves
// as the controller would. One thread of its own serves the pty.
//
// Windows has no pseudo-terminal. There the Simulator drives a ccsim that runs
// on Linux and whose pty Wine maps as a COM port (win32/simulator_win32.cpp):
// it asks that ccsim for a controller with its options, sends it the panel's
// commands and follows its event log, so the same API works on both sides.

#include "sim/controller.h"
#include "sim/event.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

namespace pj::sim {

// Stream mode: the controller sends without pause, as a unit left talking on
// its projector line would, so that a receiving side can be checked for lost
// bytes. The bytes count up (0x00, 0x01, … 0xff, 0x00, …) from the stream's
// start, paced at the line speed (8N1: baud / 10 bytes a second).
struct StreamOptions {
    std::uint32_t baud = 115200;
    std::chrono::milliseconds duration{0}; // 0: until stopStream()
};

struct StreamStats {
    bool running = false;
    std::uint32_t baud = 0;
    std::uint64_t sent = 0; // put on the client's line (garbled ones included)
    std::uint64_t garbled =
        0; // of those, sent while the client listened at another speed or parity
    std::uint64_t overflow = 0; // the client's input queue was full: lost, as on a real line
    std::uint64_t unheard = 0;  // nobody held the port
    long long ms = 0;           // how long the stream has run
};

struct SimulatorOptions {
    std::uint8_t answerByte = 0x11; // fixes edition and programming speed
    int machineType = -1;           // 0, 1, or -1: the one the answer's speed implies
    ProbePolicy probes = ProbePolicy::All;
    std::string linkPath;        // when set, a symlink to the slave is made here
    std::ostream* log = nullptr; // every event as one JSON line (optional)
    std::chrono::milliseconds minChunkGap{300};
};

class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pty (and the symlink) and starts the thread. On failure returns
    // false with a one-line reason in `error`.
    bool start(std::string& error);
    // Stops the thread, closes the pty and removes the symlink. Harmless twice.
    void stop();

    // The path clients open: the symlink when one was asked for, else the slave.
    std::string portPath() const;
    std::string slavePath() const;
    const ControllerConfig& config() const { return config_; }

    // Presses key N (slot 0..17) on the controller's panel. Returns the bytes
    // put on the client's line (garbled when its speed or parity differ from the
    // stored projector line; empty when nothing was sent).
    Bytes press(int key);

    // Pulls the adapter: the master is closed (the client's reads give 0 / EIO,
    // writes EIO) and the symlink is removed. Stored keys are kept.
    void unplug();
    // Plugs a new adapter in: a new pty (and the same symlink path).
    bool replug(std::string& error);
    bool plugged() const;

    // The client's line as the simulator sees it now.
    LineSettings line() const;

    // Starts streaming (a stream already running is ended first). False with
    // a reason for a speed of 0 or when the simulator is not running.
    bool startStream(const StreamOptions& options, std::string& error);
    // Ends the stream and logs "stream_end" with its counts. Harmless when none runs.
    void stopStream();
    StreamStats streamStats() const;

    EventLog& log() { return log_; }
    const EventLog& log() const { return log_; }

    std::optional<StoredKey> storedKey(int key) const;
    std::vector<RoomBlock> roomBlocks() const;
    std::vector<IdCard> cards() const;

private:
    bool openPtyLocked(std::string& error);
    void closePtyLocked();
    void wake();
    void waitForPass(unsigned pass);
    void run();
    void publish(std::vector<Event>& events);
    LineSettings lineLocked() const;
    void writeToClientLocked(const Bytes& bytes);

    SimulatorOptions options_;
    ControllerConfig config_;
    std::unique_ptr<ControllerCore> core_;
    EventLog log_;

    mutable std::mutex mu_; // core_, master_, slavePath_, clientSeen_, generation_
    int master_ = -1;
    unsigned generation_ = 0; // changes whenever master_ is closed or replaced
    unsigned passes_ = 0;     // the I/O thread has come back from poll() this often
    std::condition_variable passed_;
    bool clientSeen_ = false; // a client has used the line since the pty was made
    bool hungUp_ = false;     // the client has closed the port
    std::string slavePath_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    bool started_ = false;

    void streamLoop(StreamOptions options);
    // Puts a stream chunk on the client's line (garbled when its settings
    // differ) and counts where its bytes went.
    void writeStreamChunk(const Bytes& chunk, std::uint32_t baud, StreamStats& counts);
    mutable std::mutex streamMu_; // stats_, streamStop_, streamThread_
    std::condition_variable streamCv_;
    std::thread streamThread_;
    bool streamStop_ = false;
    StreamStats stats_;
#ifdef _WIN32
    struct Remote; // the ccsim driven from Windows
    std::unique_ptr<Remote> remote_;
#endif
};

} // namespace pj::sim
