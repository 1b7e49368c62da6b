#include "record/recorder.h"

#include <QSqlDatabase>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>

namespace pj::record {

namespace {

// Finds the SQL driver plugins on the calling thread (Qt searches once), so
// that the store's thread only loads the one it needs. On Windows the search
// matches the folders' files against "*.dll" with a regular expression, and a
// regular expression gives the thread that runs it a thread-local match stack
// that Qt frees when the thread ends. Threads of the C++ library built with
// MinGW free their thread-local storage before running those clean-ups, so the
// store's thread would crash as it ends, after the record was closed.
void findSqlDrivers() {
    (void)QSqlDatabase::drivers();
}

} // namespace

// One thread that owns the store's connection and runs the jobs in order;
// the changes of the jobs found waiting together share one transaction.
struct Recorder::Worker {
    struct Job {
        std::function<bool(RecordStore&)> run;
        bool changes = false;
        std::promise<std::pair<bool, QString>> done;
    };

    // A QThread, not a std::thread: the store's Qt Sql connection then lives on
    // a thread Qt made and cleans up itself. A plain thread that uses Qt gets
    // thread data adopted by Qt, which is leaked on Linux and torn down after
    // its owner on Windows (an access violation as the thread ends).
    Worker()
        : thread(QThread::create([this] { loop(); })) {
        thread->start();
    }
    ~Worker() {
        {
            std::lock_guard lock(mu);
            stopping = true;
        }
        cv.notify_all();
        thread->wait();
    }

    std::pair<bool, QString> call(std::function<bool(RecordStore&)> run, bool changes) {
        Job job{std::move(run), changes, {}};
        auto result = job.done.get_future();
        {
            std::lock_guard lock(mu);
            jobs.push_back(std::move(job));
        }
        cv.notify_all();
        return result.get();
    }

    void loop() {
        for (;;) {
            std::deque<Job> batch;
            {
                std::unique_lock lock(mu);
                cv.wait(lock, [this] { return stopping || !jobs.empty(); });
                if (jobs.empty())
                    break;
                batch.swap(jobs);
            }
            runBatch(batch);
        }
        store.close(); // on the thread that opened it
    }

    void runBatch(std::deque<Job>& batch) {
        const auto changing =
            std::count_if(batch.begin(), batch.end(), [](const Job& j) { return j.changes; });
        const bool together = changing > 1 && store.begin();
        std::vector<std::pair<bool, QString>> results;
        for (Job& j : batch) {
            const bool ok = j.run(store);
            results.emplace_back(ok, ok ? QString() : store.error());
        }
        if (together && !store.commit()) {
            const QString error = store.error();
            store.rollback();
            for (std::size_t i = 0; i < batch.size(); ++i) {
                if (batch[i].changes)
                    results[i] = {false, error};
            }
        }
        for (std::size_t i = 0; i < batch.size(); ++i)
            batch[i].done.set_value(results[i]);
    }

    RecordStore store;
    std::mutex mu;
    std::condition_variable cv;
    std::deque<Job> jobs;
    bool stopping = false;
    std::unique_ptr<QThread> thread; // last: starts once the rest is built
};

Recorder::Recorder(Clock clock)
    : clock_(std::move(clock)) {}

Recorder::~Recorder() {
    close();
}

QDateTime Recorder::now() const {
    return clock_ ? clock_().toUTC() : QDateTime::currentDateTimeUtc();
}

OpenStatus Recorder::open(const QString& path, bool mayCreate) {
    close();
    findSqlDrivers();
    worker_ = std::make_unique<Worker>();
    OpenStatus status = OpenStatus::Unusable;
    const QString error = worker_
                              ->call(
                                  [&](RecordStore& store) {
                                      status = store.open(path, mayCreate);
                                      return status == OpenStatus::Opened;
                                  },
                                  false)
                              .second;
    std::lock_guard lock(mu_);
    path_ = path;
    if (status != OpenStatus::Opened) {
        problem_ = error;
        active_ = false;
        worker_.reset();
        return status;
    }
    problem_.clear();
    active_ = true;
    return status;
}

void Recorder::close() {
    worker_.reset();
    std::lock_guard lock(mu_);
    active_ = false;
}

bool Recorder::active() const {
    std::lock_guard lock(mu_);
    return active_;
}

QString Recorder::path() const {
    std::lock_guard lock(mu_);
    return path_;
}

QString Recorder::problem() const {
    std::lock_guard lock(mu_);
    return problem_;
}

void Recorder::setFailureSink(std::function<void(const QString&)> sink) {
    std::lock_guard lock(mu_);
    sink_ = std::move(sink);
}

std::optional<bool> Recorder::run(std::function<bool(RecordStore&)> job, bool changes) {
    if (!active())
        return std::nullopt;
    const auto [ok, error] = worker_->call(std::move(job), changes);
    if (!ok && changes)
        failed(error);
    return ok;
}

void Recorder::change(std::function<bool(RecordStore&)> job) {
    run(std::move(job), true);
}

void Recorder::failed(const QString& text) {
    std::function<void(const QString&)> sink;
    {
        std::lock_guard lock(mu_);
        if (!active_)
            return; // told already
        active_ = false;
        problem_ = text;
        sink = sink_;
    }
    if (sink)
        sink(text);
}

qint64 Recorder::beginWrite(const WriteStart& start) {
    qint64 id = 0;
    const QDateTime at = now();
    change([&](RecordStore& s) {
        id = s.beginWrite(start, at);
        return id != 0;
    });
    return id;
}

void Recorder::finishWrite(qint64 writeId, WriteOutcome outcome, const QString& message) {
    if (!writeId)
        return;
    const QDateTime at = now();
    change([&](RecordStore& s) { return s.finishWrite(writeId, outcome, message, at); });
}

void Recorder::addKey(qint64 writeId, KeyEntry key) {
    if (!writeId)
        return;
    if (!key.at.isValid())
        key.at = now();
    change([&](RecordStore& s) { return s.addKey(writeId, key); });
}

void Recorder::confirmKey(qint64 writeId, int row, const QString& code, const QString& echoBytes) {
    if (!writeId)
        return;
    const QDateTime at = now();
    change([&](RecordStore& s) { return s.confirmKey(writeId, row, code, at, echoBytes); });
}

std::optional<std::vector<WriteEntry>> Recorder::writes(const WriteFilter& filter) {
    std::optional<std::vector<WriteEntry>> out;
    run(
        [&](RecordStore& s) {
            out = s.writes(filter);
            return out.has_value();
        },
        false);
    return out;
}

QStringList Recorder::roomNames() {
    std::optional<QStringList> out;
    run(
        [&](RecordStore& s) {
            out = s.roomNames();
            return out.has_value();
        },
        false);
    return out.value_or(QStringList());
}

} // namespace pj::record
