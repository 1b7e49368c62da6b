// The commissioning record: what a code write leaves in it (written, refused,
// confirmed keys), what survives a pulled adapter, how a damaged or foreign
// file is refused without being touched, and the schema's version.

#include "link/fakeserialport.h"
#include "link/sequences.h"
#include "link/serialchannel.h"
#include "record/linkrecording.h"
#include "record/location.h"
#include "record/recorder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <thread>

using namespace pj;
using namespace pj::record;

namespace {

QByteArray fileHash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A fixed clock for the record's time stamps, one second further on each call.
Recorder::Clock steppingClock() {
    auto t = std::make_shared<QDateTime>(QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC));
    return [t] {
        *t = t->addSecs(1);
        return *t;
    };
}

link::CodeListEntry row(const char* name, const char* code, unsigned slot, bool selected = true) {
    link::CodeListEntry e;
    e.name = name;
    e.codeText = code;
    e.keyType = slot;
    e.selected = selected;
    return e;
}

std::string longCode() {
    std::string s;
    for (int i = 0; i < 62; ++i)
        s += "aa ";
    return s;
}

// A code write of `model` on the fake port in virtual time, recorded.
struct RecordedWrite {
    link::VirtualClock clock;
    link::FakeSerialPort* port = nullptr;
    std::unique_ptr<link::SerialChannel> channel;
    link::ShellState shell;

    RecordedWrite() {
        auto p = std::make_unique<link::FakeSerialPort>(clock);
        port = p.get();
        channel = std::make_unique<link::SerialChannel>(std::move(p), clock);
        shell.portName = "/dev/ttyFAKE0";
        shell.editionCode = 2007;
        shell.controllerBaud = 9600;
        shell.machineType = 0;
    }
    ~RecordedWrite() { channel->close(); }

    link::SequenceResult run(Recorder& recorder, link::SelectedModel& model, qint64& writeId) {
        WriteStart start;
        start.kind = WriteKind::Codes;
        start.program = QStringLiteral("test");
        start.room = QStringLiteral("101");
        start.controller = controllerOf(shell);
        start.company = QStringLiteral("Maker");
        start.model = QStringLiteral("X1");
        start.projectorBaud = model.selectedBaud;
        writeId = recorder.beginWrite(start);
        link::SequenceObserver quiet;
        RecordingObserver observer(recorder, writeId, model.rows, quiet);
        const link::SequenceResult r = link::writeSelectedCodes(*channel, shell, model, observer);
        recorder.finishWrite(writeId, outcomeOf(r.outcome), QString::fromStdString(r.message));
        return r;
    }
};

link::SelectedModel threeKeysAndATooLongOne() {
    link::SelectedModel m;
    m.selectedBaud = 9600;
    m.rows = {row("开机", "a0 01 0d", 0), row("关机", "a0 02 0d", 1),
              row("太长", longCode().c_str(), 2), row("视频", "a0 03 0d", 3)};
    return m;
}

} // namespace

class TestRecord : public QObject {
    Q_OBJECT
    QTemporaryDir fixtures_;
    QString sample_; // a record of some pages, made once

private Q_SLOTS:
    void initTestCase() {
        sample_ = fixtures_.filePath(QStringLiteral("sample.db"));
        Recorder recorder;
        QCOMPARE(recorder.open(sample_), OpenStatus::Opened);
        // Written from several threads at once: they share their commits.
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&recorder, t] {
                for (int i = 0; i < 10; ++i) {
                    WriteStart s;
                    s.room = QStringLiteral("房间 %1-%2").arg(t).arg(i);
                    s.card = QString(500, QLatin1Char('x'));
                    recorder.finishWrite(recorder.beginWrite(s), WriteOutcome::Completed, {});
                }
            });
        }
        for (auto& t : threads)
            t.join();
        QCOMPARE(recorder.writes({})->size(), std::size_t(40));
        QVERIFY(QFileInfo(sample_).size() > 5 * 4096);
    }

    void codeWrite_recordsWrittenRefusedAndConfirmedKeys() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.db"));
        Recorder recorder(steppingClock());
        QCOMPARE(recorder.open(path), OpenStatus::Opened);

        RecordedWrite w;
        link::SelectedModel model = threeKeysAndATooLongOne();
        qint64 id = 0;
        const auto result = w.run(recorder, model, id);
        QVERIFY(result.ok());
        QVERIFY2(id > 0, qPrintable(recorder.problem()));
        // The controller sends the second key back.
        const link::Bytes echo{0xa0, 0x02, 0x0d};
        recordEcho(recorder, id, 1, model.rows[1], echo);
        // A second echo of the same key keeps the first.
        recordEcho(recorder, id, 1, model.rows[1], echo);

        const auto writes = recorder.writes({});
        QVERIFY(writes);
        QCOMPARE(writes->size(), std::size_t(1));
        const WriteEntry& e = writes->front();
        QCOMPARE(e.outcome, WriteOutcome::Completed);
        QCOMPARE(e.start.room, QStringLiteral("101"));
        QCOMPARE(e.start.controller.port, QStringLiteral("/dev/ttyFAKE0"));
        QCOMPARE(e.start.controller.edition, 2007);
        QCOMPARE(e.start.controller.controllerBaud, 9600);
        QCOMPARE(e.start.company, QStringLiteral("Maker"));
        QCOMPARE(e.start.projectorBaud, 9600u);
        QCOMPARE(e.keys.size(), std::size_t(4));

        QCOMPARE(e.keys[0].outcome, KeyOutcome::Written);
        QCOMPARE(e.keys[0].slot, 0);
        QCOMPARE(e.keys[0].code, QStringLiteral("a0 01 0d"));
        QCOMPARE(e.keys[0].name, QStringLiteral("开机"));
        QVERIFY(e.keys[0].at.isValid());
        QVERIFY(!e.keys[0].echoAt.isValid());

        QCOMPARE(e.keys[1].outcome, KeyOutcome::Confirmed);
        QCOMPARE(e.keys[1].echoBytes, QStringLiteral("a0 02 0d"));
        QVERIFY(e.keys[1].echoAt > e.keys[1].at);

        QCOMPARE(e.keys[2].outcome, KeyOutcome::Refused);
        QCOMPARE(e.keys[2].reason, QStringLiteral("功能码过长（最多61字节）"));
        QCOMPARE(e.keys[3].outcome, KeyOutcome::Written);
        QCOMPARE(e.keys[3].slot, 3);
        QVERIFY(e.finished >= e.keys[3].at);
    }

    void echo_ofAnotherCodeInTheRow_confirmsNothing() {
        QTemporaryDir dir;
        Recorder recorder(steppingClock());
        QCOMPARE(recorder.open(dir.filePath(QStringLiteral("r.db"))), OpenStatus::Opened);
        RecordedWrite w;
        link::SelectedModel model = threeKeysAndATooLongOne();
        qint64 id = 0;
        w.run(recorder, model, id);
        // The window shows another model now: its row 0 holds another code.
        recordEcho(recorder, id, 0, row("other", "b0 01", 0), link::Bytes{0xb0, 0x01});
        // A refused key cannot be confirmed.
        recordEcho(recorder, id, 2, model.rows[2], link::codeTextToBytes(model.rows[2].codeText));
        const auto writes = recorder.writes({});
        QCOMPARE(writes->front().keys[0].outcome, KeyOutcome::Written);
        QCOMPARE(writes->front().keys[2].outcome, KeyOutcome::Refused);
    }

    void pulledAdapterMidWrite_keepsTheKeysWrittenBefore() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.db"));
        qint64 id = 0;
        {
            Recorder recorder(steppingClock());
            QCOMPARE(recorder.open(path), OpenStatus::Opened);
            RecordedWrite w;
            // Colon-first: two writes per frame; the third frame's first write
            // finds the adapter gone.
            w.port->scriptWrite(4, link::IoStatus::DeviceLost);
            link::SelectedModel model;
            model.rows = {row("a", "01", 0), row("b", "02", 1), row("c", "03", 2),
                          row("d", "04", 3)};
            const auto r = w.run(recorder, model, id);
            QCOMPARE(r.outcome, link::SequenceOutcome::WriteFailed);
        }
        // Another program reads the file afterwards.
        Recorder reader;
        QCOMPARE(reader.open(path, false), OpenStatus::Opened);
        const auto writes = reader.writes({});
        QCOMPARE(writes->size(), std::size_t(1));
        QCOMPARE(writes->front().outcome, WriteOutcome::WriteFailed);
        QVERIFY(writes->front().message.contains(QStringLiteral("已断开")));
        QCOMPARE(writes->front().keys.size(), std::size_t(2));
        QCOMPARE(writes->front().keys[0].code, QStringLiteral("01"));
        QCOMPARE(writes->front().keys[1].code, QStringLiteral("02"));
    }

    void programEndingMidWrite_leavesTheWritePendingWithItsKeys() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.db"));
        {
            Recorder recorder(steppingClock());
            QCOMPARE(recorder.open(path), OpenStatus::Opened);
            WriteStart s;
            s.room = QStringLiteral("102");
            const qint64 id = recorder.beginWrite(s);
            KeyEntry k;
            k.row = 0;
            k.code = QStringLiteral("01");
            recorder.addKey(id, k);
            // No finishWrite: the program went away here.
        }
        Recorder reader;
        QCOMPARE(reader.open(path), OpenStatus::Opened);
        const auto writes = reader.writes({});
        QCOMPARE(writes->front().outcome, WriteOutcome::Pending);
        QVERIFY(!writes->front().finished.isValid());
        QCOMPARE(writes->front().keys.size(), std::size_t(1));
    }

    void damagedFiles_areReportedAndLeftUntouched_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("not a database") << QStringLiteral("garbage");
        QTest::newRow("pages overwritten") << QStringLiteral("pages");
        QTest::newRow("cut short") << QStringLiteral("truncated");
        QTest::newRow("another database") << QStringLiteral("foreign");
    }
    void damagedFiles_areReportedAndLeftUntouched() {
        QFETCH(QString, damage);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.db"));
        QVERIFY(QFile::copy(sample_, path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (damage == QLatin1String("garbage")) {
            f.resize(0);
            f.write(QByteArray(5000, 'g'));
        } else if (damage == QLatin1String("pages")) {
            f.seek(4096 + 100);
            f.write(QByteArray(8192, '\x5a'));
        } else if (damage == QLatin1String("truncated")) {
            f.resize(f.size() / 2 + 17);
        }
        f.close();
        if (damage == QLatin1String("foreign")) {
            QFile::remove(path);
            auto db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery(db).exec(QStringLiteral("CREATE TABLE COP (ID INTEGER, COP TEXT)"));
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        }
        const QByteArray before = fileHash(path);
        const auto filesBefore = QDir(dir.path()).entryList(QDir::Files);

        Recorder recorder;
        const OpenStatus status = recorder.open(path);
        QCOMPARE(status, OpenStatus::Damaged);
        QVERIFY(!recorder.active());
        QVERIFY2(recorder.problem().contains(path), qPrintable(recorder.problem()));
        // Work without a record takes every call and keeps nothing.
        QCOMPARE(recorder.beginWrite(WriteStart{}), qint64(0));
        recorder.finishWrite(0, WriteOutcome::Completed, {});
        QVERIFY(!recorder.writes({}));
        recorder.close();

        QCOMPARE(fileHash(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), filesBefore);
    }

    void newFile_getsTheSchemaVersionAndKeepsItOnReopening() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.db"));
        for (int i = 0; i < 2; ++i) {
            RecordStore store;
            QCOMPARE(store.open(path), OpenStatus::Opened);
            QCOMPARE(store.schemaVersion(), kSchemaVersion);
        }
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        {
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
            QCOMPARE(q.value(0).toInt(), kSchemaVersion);
            QVERIFY(q.exec(QStringLiteral("PRAGMA application_id")) && q.next());
            QCOMPARE(q.value(0).toInt(), kApplicationId);
            // A newer program's file is not written to.
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion + 1)));
            db.close();
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        const QByteArray before = fileHash(path);
        RecordStore store;
        QCOMPARE(store.open(path), OpenStatus::TooNew);
        QCOMPARE(fileHash(path), before);
    }

    void emptyFile_becomesARecord_missingFileIsNotMadeWhenReading() {
        QTemporaryDir dir;
        const QString empty = dir.filePath(QStringLiteral("empty.db"));
        QFile f(empty);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        RecordStore store;
        QCOMPARE(store.open(empty), OpenStatus::Opened);
        store.close();
        const QString missing = dir.filePath(QStringLiteral("missing.db"));
        QCOMPARE(store.open(missing, false), OpenStatus::Unusable);
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(store.open(dir.filePath(QStringLiteral("no/such/folder/r.db"))),
                 OpenStatus::Unusable);
    }

    void severalThreads_recordThroughOneRecorder() {
        QTemporaryDir dir;
        Recorder recorder;
        QCOMPARE(recorder.open(dir.filePath(QStringLiteral("r.db"))), OpenStatus::Opened);
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&recorder, t] {
                WriteStart s;
                s.room = QStringLiteral("R%1").arg(t);
                const qint64 id = recorder.beginWrite(s);
                for (int k = 0; k < 5; ++k) {
                    KeyEntry e;
                    e.row = k;
                    e.slot = k;
                    e.code = QStringLiteral("0%1").arg(k);
                    recorder.addKey(id, e);
                }
                recorder.finishWrite(id, WriteOutcome::Completed, {});
            });
        }
        for (auto& t : threads)
            t.join();
        const auto writes = recorder.writes({});
        QCOMPARE(writes->size(), std::size_t(8));
        for (const auto& w : *writes) {
            QCOMPARE(w.keys.size(), std::size_t(5));
            QCOMPARE(w.outcome, WriteOutcome::Completed);
        }
        QCOMPARE(recorder.roomNames().size(), 8);
    }

    void filters_byRoomTimeAndModel() {
        QTemporaryDir dir;
        Recorder recorder(steppingClock());
        QCOMPARE(recorder.open(dir.filePath(QStringLiteral("r.db"))), OpenStatus::Opened);
        const auto add = [&](const char* room, const char* model) {
            WriteStart s;
            s.room = QString::fromUtf8(room);
            s.company = QStringLiteral("C");
            s.model = QString::fromUtf8(model);
            recorder.finishWrite(recorder.beginWrite(s), WriteOutcome::Completed, {});
        };
        add("101", "M1");
        add("102", "M2");
        const QDateTime middle = recorder.now();
        add("101", "M2");
        add("", "M1");
        WriteFilter byRoom;
        byRoom.room = QStringLiteral("101");
        QCOMPARE(recorder.writes(byRoom)->size(), std::size_t(2));
        WriteFilter unnamed;
        unnamed.room = QString();
        QCOMPARE(recorder.writes(unnamed)->size(), std::size_t(1));
        WriteFilter since;
        since.since = middle;
        QCOMPARE(recorder.writes(since)->size(), std::size_t(2));
        WriteFilter model;
        model.company = QStringLiteral("C");
        model.model = QStringLiteral("M2");
        const auto m2 = recorder.writes(model);
        QCOMPARE(m2->size(), std::size_t(2));
        QCOMPARE(m2->at(0).start.room, QStringLiteral("102"));
        QCOMPARE(recorder.roomNames(), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    }

    void location_isBesideTheCatalogueUnlessTheEnvironmentSaysElse() {
        qunsetenv(kRecordEnv);
        QCOMPARE(recordFileFor(QStringLiteral("/srv/cat/projector.mdb")),
                 QStringLiteral("/srv/cat/projector-record.db"));
        QCOMPARE(recordFileFor(QStringLiteral("projector.mdb")),
                 QStringLiteral("projector-record.db"));
        qputenv(kRecordEnv, "/srv/records/elsewhere.db");
        QCOMPARE(recordFileFor(QStringLiteral("/srv/cat/projector.mdb")),
                 QStringLiteral("/srv/records/elsewhere.db"));
        qunsetenv(kRecordEnv);
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "test_record.moc"
