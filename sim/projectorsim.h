#pragma once
// The projector (sim/projector.h) on a pseudo-terminal: the client (the test
// send of projector-cli or of the window, a test) opens the pty's slave as
// the port cabled to the projector. One thread of its own serves the pty and
// sends each answer after the configured reply delay.

#include "sim/event.h"
#include "sim/projector.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pj::sim {

struct ProjectorSimulatorOptions {
    ProjectorConfig projector;
    std::string linkPath;        // when set, a symlink to the slave is made here
    std::ostream* log = nullptr; // every event as one JSON line (optional)
};

class ProjectorSimulator {
public:
    explicit ProjectorSimulator(ProjectorSimulatorOptions options);
    ~ProjectorSimulator(); // stops
    ProjectorSimulator(const ProjectorSimulator&) = delete;
    ProjectorSimulator& operator=(const ProjectorSimulator&) = delete;

    // Creates the pty (and the symlink), logs "ready" and starts the thread.
    // On failure returns false with a one-line reason in `error`.
    bool start(std::string& error);
    // Stops the thread, closes the pty and removes the symlink. Harmless twice.
    void stop();

    // The path clients open: the symlink when one was asked for, else the slave.
    std::string portPath() const;
    std::string slavePath() const;
    std::uint32_t baud() const;

    bool poweredOn() const;
    std::size_t commandsDone() const;

    EventLog& log() { return log_; }
    const EventLog& log() const { return log_; }

private:
    struct Pending {
        SteadyTime due;
        Bytes bytes;
    };

    void run();
    LineSettings lineLocked() const;
    void writeLocked(const Bytes& bytes);
    void wake();

    ProjectorSimulatorOptions options_;
    std::unique_ptr<ProjectorCore> core_;
    EventLog log_;

    mutable std::mutex mu_; // core_, master_, pending_, hungUp_, clientSeen_
    int master_ = -1;
    std::string slavePath_;
    std::deque<Pending> pending_;
    bool hungUp_ = false;
    bool clientSeen_ = false;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    bool started_ = false;
};

} // namespace pj::sim
