#pragma once
// The commissioning record as the programs use it: a RecordStore on a thread
// of its own, so that the window's thread, the sequence workers and the batch
// runner's port threads can all record. Every call waits until its change is
// committed, so an outcome is on the disk before the work goes on.
//
// Callers that arrive while a commit is under way are committed together in
// one transaction (one wait for the disk instead of one each), so many ports
// recording at once do not queue behind each other's disk writes.
//
// A Recorder that is not open (none asked for, or the file was refused) takes
// every call and keeps nothing. After a failed write (disk full, file taken
// away) it keeps nothing more and tells the failure sink once.

#include "record/recordstore.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

namespace pj::record {

class Recorder {
public:
    using Clock = std::function<QDateTime()>; // UTC time stamps

    explicit Recorder(Clock clock = {});
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens the record at `path`, creating it when missing and `mayCreate`.
    // Anything but Opened leaves the file untouched and the recorder off;
    // problem() says why.
    OpenStatus open(const QString& path, bool mayCreate = true);
    void close();

    bool active() const; // writes are being recorded
    QString path() const;
    QString problem() const; // why nothing is recorded (empty when active)

    // Called on the failing caller's thread, once, when recording fails.
    void setFailureSink(std::function<void(const QString& text)> sink);

    // ---- recording; ids are 0 when nothing is recorded ----
    qint64 beginWrite(const WriteStart& start);
    void finishWrite(qint64 writeId, WriteOutcome outcome, const QString& message);
    // `key.at` is taken now when it is not set.
    void addKey(qint64 writeId, KeyEntry key);
    void confirmKey(qint64 writeId, int row, const QString& code, const QString& echoBytes);

    // ---- reading ----
    std::optional<std::vector<WriteEntry>> writes(const WriteFilter& filter);
    QStringList roomNames();

    QDateTime now() const;

private:
    struct Worker;
    // Runs `job` on the store's thread and waits until it is committed. The
    // job returns false on a failure (the store's error() says why); nullopt
    // when no record is kept. `changes`: the job writes to the file.
    std::optional<bool> run(std::function<bool(RecordStore&)> job, bool changes);
    void change(std::function<bool(RecordStore&)> job);
    void failed(const QString& text);

    Clock clock_;
    std::unique_ptr<Worker> worker_;
    mutable std::mutex mu_; // state below
    bool active_ = false;
    QString path_;
    QString problem_;
    std::function<void(const QString&)> sink_;
};

} // namespace pj::record
