#include "shell/controllertask.h"

#include <QMetaObject>

namespace pj::shell {

// The observer handed to the sequence: every report becomes a queued call on
// the task's thread.
class ControllerTask::Relay final : public link::SequenceObserver {
public:
    Relay(ControllerTask* task, bool confirm)
        : task_(task)
        , confirm_(confirm) {}

    void progress(int percent) override {
        post([percent](ControllerTask* t) { Q_EMIT t->progress(percent); });
    }
    void rowStatus(std::size_t row, link::RowStatus status) override {
        post([row, status](ControllerTask* t) {
            Q_EMIT t->rowStatus(static_cast<int>(row), static_cast<int>(status));
        });
    }
    void rowRefused(std::size_t row, const std::string& reason) override {
        post([row, text = QString::fromStdString(reason)](ControllerTask* t) {
            Q_EMIT t->rowRefused(static_cast<int>(row), text);
        });
    }
    void message(const std::string& text) override {
        post([text = QString::fromStdString(text)](ControllerTask* t) { Q_EMIT t->message(text); });
    }
    void listening(std::uint32_t baud, link::Parity parity) override {
        post([baud, parity](ControllerTask* t) {
            Q_EMIT t->listening(baud, static_cast<int>(parity));
        });
    }
    bool confirmApproximateBaud(std::uint32_t, const std::string&) override { return confirm_; }

private:
    template <class F> void post(F f) {
        ControllerTask* task = task_;
        QMetaObject::invokeMethod(
            task, [task, f = std::move(f)] { f(task); }, Qt::QueuedConnection);
    }

    ControllerTask* task_;
    bool confirm_;
};

ControllerTask::ControllerTask(QObject* parent)
    : QObject(parent) {}

ControllerTask::~ControllerTask() {
    requestStop();
    wait();
}

bool ControllerTask::start(Job job, bool confirmApproximateBaud) {
    return start(
        [job = std::move(job)](link::SequenceObserver& o, std::stop_token) { return job(o); },
        confirmApproximateBaud);
}

bool ControllerTask::start(StoppableJob job, bool confirmApproximateBaud) {
    if (busy_)
        return false;
    wait(); // the previous worker has posted its end; reap it
    busy_ = true;
    stop_ = std::stop_source();
    worker_ = std::thread([this, job = std::move(job), confirmApproximateBaud,
                           token = stop_.get_token()] {
        Relay relay(this, confirmApproximateBaud);
        link::SequenceResult result = job(relay, token);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { onFinished(result); }, Qt::QueuedConnection);
    });
    return true;
}

void ControllerTask::requestStop() {
    if (busy_)
        stop_.request_stop();
}

void ControllerTask::wait() {
    if (worker_.joinable())
        worker_.join();
}

void ControllerTask::onFinished(link::SequenceResult result) {
    wait();
    busy_ = false;
    Q_EMIT finished(static_cast<int>(result.outcome), QString::fromStdString(result.message),
                    static_cast<int>(result.rowsWritten), static_cast<int>(result.rowsRefused));
}

} // namespace pj::shell
