#pragma once
// Runs one controller sequence (codes, room parameters, ID card) on a worker
// thread so that the window stays responsive. What the sequence reports comes
// back as signals on the thread that owns the task (the user-interface
// thread); nothing is shared with the worker but the job it was given.

#include "link/observer.h"
#include "link/sequences.h"

#include <QObject>
#include <QString>

#include <functional>
#include <stop_token>
#include <thread>

namespace pj::shell {

class ControllerTask : public QObject {
    Q_OBJECT
public:
    // A job that ends at its next pause once `stop` is requested.
    using StoppableJob =
        std::function<link::SequenceResult(link::SequenceObserver& observer, std::stop_token stop)>;
    using Job = std::function<link::SequenceResult(link::SequenceObserver& observer)>;

    explicit ControllerTask(QObject* parent = nullptr);
    ~ControllerTask() override; // asks a running job to stop and waits for it

    // Starts `job` on the worker; false when a job is still running.
    // `confirmApproximateBaud` answers the sequence's speed question (the
    // caller asks the user before starting, on its own thread).
    bool start(StoppableJob job, bool confirmApproximateBaud = false);
    bool start(Job job, bool confirmApproximateBaud = false);
    bool busy() const { return busy_; }
    // Asks the running job to stop at its next pause (its finished signal
    // follows as usual). Harmless when nothing runs.
    void requestStop();
    bool stopRequested() const { return busy_ && stop_.stop_requested(); }
    // Blocks until the running job has ended (its finished signal is still queued).
    void wait();

Q_SIGNALS:
    void progress(int percent);
    void rowStatus(int row, int status); // a link::RowStatus
    void rowRefused(int row, const QString& reason);
    void message(const QString& text);
    void listening(quint32 baud, int parity); // a link::Parity
    // The job ended; `message` is the result's text (empty when it completed).
    void finished(int outcome, const QString& message, int rowsWritten, int rowsRefused);

private:
    class Relay;
    void onFinished(link::SequenceResult result);

    std::thread worker_;
    std::stop_source stop_;
    bool busy_ = false;
};

} // namespace pj::shell
