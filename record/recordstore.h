#pragma once
// The commissioning record file: an SQLite database of its own (never the
// catalogue), with a schema version kept in the file and upgraded inside one
// transaction. Every change is its own transaction, committed before the call
// returns, so what was recorded survives a crash of the program.
//
// One RecordStore is one connection and must be used on the thread that
// opened it; Recorder (recorder.h) gives other threads a safe way in.

#include "record/recordtypes.h"

#include <QString>

#include <memory>
#include <vector>

namespace pj::record {

inline constexpr int kSchemaVersion = 1;
// PRAGMA application_id of a record file ("PJRC").
inline constexpr int kApplicationId = 0x504A5243;

enum class OpenStatus {
    Opened,
    Damaged,  // not an SQLite file, fails its integrity check, or not a record
    TooNew,   // written by a newer program (a higher schema version)
    Unusable, // cannot be created or opened (folder missing, no permission, locked)
};

class RecordStore {
public:
    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens `path`, creating the file when it does not exist and `mayCreate`
    // (a missing file is Unusable otherwise). A file that is damaged, not a
    // record or too new is closed again without a byte written, and `error()`
    // says why.
    OpenStatus open(const QString& path, bool mayCreate = true);
    void close();
    bool isOpen() const;
    QString error() const; // the last failure, in the user's language
    int schemaVersion() const;

    // Several changes in one transaction (the recorder commits the changes of
    // callers that arrive together at once). Without begin() every change
    // commits by itself.
    bool begin();
    bool commit();
    void rollback();

    // ---- writing; false on a failure (error() says why) ----
    // The new write's id, 0 on failure.
    qint64 beginWrite(const WriteStart& start, const QDateTime& at);
    bool finishWrite(qint64 writeId, WriteOutcome outcome, const QString& message,
                     const QDateTime& at);
    bool addKey(qint64 writeId, const KeyEntry& key);
    // The key of `row` in the write, written with `code`, becomes confirmed; a
    // key already confirmed keeps its first echo. False on a failure only.
    bool confirmKey(qint64 writeId, int row, const QString& code, const QDateTime& at,
                    const QString& echoBytes);

    // ---- reading ----
    // Writes in the order they started, each with its keys.
    std::optional<std::vector<WriteEntry>> writes(const WriteFilter& filter);
    // Room names used so far, the most recent first (without the empty one).
    std::optional<QStringList> roomNames();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace pj::record
