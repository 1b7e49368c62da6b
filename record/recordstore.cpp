#include "record/recordstore.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <map>

namespace pj::record {

namespace {

QAtomicInteger<quint64> gConnections;

// One step of the schema: the statements that bring a file of version
// `to - 1` to version `to`. A new version adds a step; a step never changes.
struct Migration {
    int to;
    const char* const* statements;
};

const char* const kVersion1[] = {
    "CREATE TABLE writes ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL,"
    " started TEXT NOT NULL,"
    " finished TEXT,"
    " outcome TEXT NOT NULL DEFAULT 'pending',"
    " message TEXT NOT NULL DEFAULT '',"
    " program TEXT NOT NULL DEFAULT '',"
    " room TEXT NOT NULL DEFAULT '',"
    " port TEXT NOT NULL DEFAULT '',"
    " edition INTEGER NOT NULL DEFAULT 0,"
    " controller_baud INTEGER NOT NULL DEFAULT 0,"
    " machine_type INTEGER NOT NULL DEFAULT 0,"
    " visualizer INTEGER NOT NULL DEFAULT 1,"
    " company TEXT NOT NULL DEFAULT '',"
    " model TEXT NOT NULL DEFAULT '',"
    " projector_baud INTEGER NOT NULL DEFAULT 0,"
    " room_block TEXT NOT NULL DEFAULT '',"
    " card TEXT NOT NULL DEFAULT '')",
    "CREATE INDEX writes_by_room ON writes(room, started)",
    "CREATE INDEX writes_by_model ON writes(company, model, started)",
    "CREATE TABLE keys ("
    " id INTEGER PRIMARY KEY,"
    " write_id INTEGER NOT NULL REFERENCES writes(id),"
    " row INTEGER NOT NULL,"
    " slot INTEGER NOT NULL,"
    " name TEXT NOT NULL DEFAULT '',"
    " code TEXT NOT NULL DEFAULT '',"
    " parity INTEGER NOT NULL DEFAULT 0,"
    " outcome TEXT NOT NULL,"
    " reason TEXT NOT NULL DEFAULT '',"
    " at TEXT NOT NULL,"
    " echo_at TEXT,"
    " echo_bytes TEXT NOT NULL DEFAULT '',"
    " UNIQUE(write_id, row))",
    nullptr,
};

const Migration kMigrations[] = {{1, kVersion1}};

QString timeText(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeFrom(const QVariant& v) {
    if (v.isNull())
        return {};
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

// A null QString would be bound as NULL; the columns hold empty texts.
QString text(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

bool isBusy(const QSqlError& e) {
    const QString native = e.nativeErrorCode();
    return native == QLatin1String("5") || native == QLatin1String("6");
}

const char kWriteColumns[] =
    "id, kind, started, finished, outcome, message, program, room, port, edition, "
    "controller_baud, machine_type, visualizer, company, model, projector_baud, room_block, card";

} // namespace

struct RecordStore::Impl {
    QString name; // the connection's name; empty when closed
    QString path;
    QString error;
    int version = 0;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    bool exec(QSqlQuery& q) {
        if (q.exec())
            return true;
        error = QStringLiteral("调试记录操作失败：%1").arg(q.lastError().text().simplified());
        return false;
    }
    bool plain(const QString& sql) {
        QSqlQuery q(db());
        if (q.exec(sql))
            return true;
        error = QStringLiteral("调试记录操作失败：%1").arg(q.lastError().text().simplified());
        return false;
    }
    std::optional<QVariant> scalar(const QString& sql, QSqlError* failure = nullptr) {
        QSqlQuery q(db());
        if (!q.exec(sql) || !q.next()) {
            if (failure)
                *failure = q.lastError();
            return std::nullopt;
        }
        return q.value(0);
    }
    void drop() {
        if (name.isEmpty())
            return;
        {
            QSqlDatabase d = db();
            if (d.isOpen())
                d.close();
        }
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
    OpenStatus fail(OpenStatus status, const QString& why) {
        drop();
        error = why;
        return status;
    }
    bool upgrade(int from);
};

bool RecordStore::Impl::upgrade(int from) {
    // BEGIN IMMEDIATE: a second program opening the same new file waits here
    // instead of creating the tables twice.
    if (!plain(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    // Read again inside the transaction: another program may have upgraded.
    const auto now = scalar(QStringLiteral("PRAGMA user_version"));
    const int current = now ? now->toInt() : from;
    for (const Migration& m : kMigrations) {
        if (m.to <= current)
            continue;
        for (const char* const* s = m.statements; *s; ++s) {
            if (!plain(QString::fromLatin1(*s))) {
                plain(QStringLiteral("ROLLBACK"));
                return false;
            }
        }
        if (!plain(QStringLiteral("PRAGMA user_version = %1").arg(m.to))) {
            plain(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    if (current == 0 && !plain(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId))) {
        plain(QStringLiteral("ROLLBACK"));
        return false;
    }
    return plain(QStringLiteral("COMMIT"));
}

RecordStore::RecordStore()
    : d_(std::make_unique<Impl>()) {}

RecordStore::~RecordStore() {
    close();
}

OpenStatus RecordStore::open(const QString& path, bool mayCreate) {
    close();
    d_->path = path;
    d_->error.clear();
    const QFileInfo info(path);
    if (!info.exists() && !mayCreate)
        return d_->fail(OpenStatus::Unusable, QStringLiteral("没有调试记录文件 %1").arg(path));
    if (info.exists() && info.size() > 0) {
        // Anything that does not start as an SQLite file is not handed to
        // SQLite at all.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return d_->fail(
                OpenStatus::Unusable,
                QStringLiteral("无法打开调试记录文件 %1：%2").arg(path, f.errorString()));
        const QByteArray head = f.read(16);
        if (head != QByteArray("SQLite format 3\0", 16))
            return d_->fail(OpenStatus::Damaged,
                            QStringLiteral("调试记录文件 %1 已损坏（不是数据库文件）").arg(path));
    }

    d_->name = QStringLiteral("pj_record_%1").arg(gConnections.fetchAndAddRelaxed(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d_->name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            return d_->fail(OpenStatus::Unusable,
                            QStringLiteral("无法打开调试记录文件 %1：%2")
                                .arg(path, db.lastError().text().simplified()));
    }
    QSqlError failure;
    const auto check = d_->scalar(QStringLiteral("PRAGMA quick_check"), &failure);
    if (!check) {
        if (isBusy(failure))
            return d_->fail(OpenStatus::Unusable,
                            QStringLiteral("调试记录文件 %1 正被另一个程序使用").arg(path));
        return d_->fail(
            OpenStatus::Damaged,
            QStringLiteral("调试记录文件 %1 已损坏（%2）").arg(path, failure.text().simplified()));
    }
    if (check->toString() != QLatin1String("ok"))
        return d_->fail(
            OpenStatus::Damaged,
            QStringLiteral("调试记录文件 %1 已损坏（%2）").arg(path, check->toString()));

    const int appId = d_->scalar(QStringLiteral("PRAGMA application_id")).value_or(0).toInt();
    const int version = d_->scalar(QStringLiteral("PRAGMA user_version")).value_or(0).toInt();
    const int tables =
        d_->scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")).value_or(0).toInt();
    const bool empty = appId == 0 && version == 0 && tables == 0;
    if (!empty && appId != kApplicationId)
        return d_->fail(OpenStatus::Damaged,
                        QStringLiteral("%1 不是调试记录文件（可能是别的数据库）").arg(path));
    if (version > kSchemaVersion)
        return d_->fail(OpenStatus::TooNew,
                        QStringLiteral("调试记录文件 %1 由更新版本的程序写入（格式 %2），"
                                       "本程序无法写入")
                            .arg(path)
                            .arg(version));
    if (version < kSchemaVersion && !d_->upgrade(version))
        return d_->fail(OpenStatus::Unusable, d_->error);

    d_->plain(QStringLiteral("PRAGMA foreign_keys = ON"));
    // Each outcome must be on the disk before the controller work goes on.
    d_->plain(QStringLiteral("PRAGMA synchronous = FULL"));
    d_->version = kSchemaVersion;
    d_->error.clear();
    return OpenStatus::Opened;
}

void RecordStore::close() {
    d_->drop();
}

bool RecordStore::isOpen() const {
    return !d_->name.isEmpty();
}

QString RecordStore::error() const {
    return d_->error;
}

int RecordStore::schemaVersion() const {
    return d_->version;
}

bool RecordStore::begin() {
    return isOpen() && d_->plain(QStringLiteral("BEGIN IMMEDIATE"));
}

bool RecordStore::commit() {
    return isOpen() && d_->plain(QStringLiteral("COMMIT"));
}

void RecordStore::rollback() {
    if (isOpen()) {
        QSqlQuery q(d_->db());
        q.exec(QStringLiteral("ROLLBACK"));
    }
}

qint64 RecordStore::beginWrite(const WriteStart& s, const QDateTime& at) {
    if (!isOpen())
        return 0;
    QSqlQuery q(d_->db());
    q.prepare(QStringLiteral(
        "INSERT INTO writes (kind, started, program, room, port, edition, controller_baud, "
        "machine_type, visualizer, company, model, projector_baud, room_block, card) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(kindText(s.kind));
    q.addBindValue(timeText(at));
    q.addBindValue(text(s.program));
    q.addBindValue(text(s.room));
    q.addBindValue(text(s.controller.port));
    q.addBindValue(s.controller.edition);
    q.addBindValue(s.controller.controllerBaud);
    q.addBindValue(s.controller.machineType);
    q.addBindValue(s.controller.visualizerNumber);
    q.addBindValue(text(s.company));
    q.addBindValue(text(s.model));
    q.addBindValue(static_cast<qint64>(s.projectorBaud));
    q.addBindValue(text(s.roomBlock));
    q.addBindValue(text(s.card));
    if (!d_->exec(q))
        return 0;
    return q.lastInsertId().toLongLong();
}

bool RecordStore::finishWrite(qint64 writeId, WriteOutcome outcome, const QString& message,
                              const QDateTime& at) {
    if (!isOpen())
        return false;
    QSqlQuery q(d_->db());
    q.prepare(QStringLiteral("UPDATE writes SET finished = ?, outcome = ?, message = ? "
                             "WHERE id = ?"));
    q.addBindValue(timeText(at));
    q.addBindValue(writeOutcomeText(outcome));
    q.addBindValue(text(message));
    q.addBindValue(writeId);
    return d_->exec(q);
}

bool RecordStore::addKey(qint64 writeId, const KeyEntry& k) {
    if (!isOpen())
        return false;
    QSqlQuery q(d_->db());
    q.prepare(QStringLiteral("INSERT INTO keys (write_id, row, slot, name, code, parity, outcome, "
                             "reason, at, echo_at, echo_bytes) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(writeId);
    q.addBindValue(k.row);
    q.addBindValue(k.slot);
    q.addBindValue(text(k.name));
    q.addBindValue(text(k.code));
    q.addBindValue(k.parity);
    q.addBindValue(keyOutcomeText(k.outcome));
    q.addBindValue(text(k.reason));
    q.addBindValue(timeText(k.at));
    q.addBindValue(k.echoAt.isValid() ? QVariant(timeText(k.echoAt)) : QVariant());
    q.addBindValue(text(k.echoBytes));
    return d_->exec(q);
}

bool RecordStore::confirmKey(qint64 writeId, int row, const QString& code, const QDateTime& at,
                             const QString& echoBytes) {
    if (!isOpen())
        return false;
    QSqlQuery q(d_->db());
    q.prepare(
        QStringLiteral("UPDATE keys SET outcome = 'confirmed', echo_at = ?, echo_bytes = ? "
                       "WHERE write_id = ? AND row = ? AND code = ? AND outcome = 'written'"));
    q.addBindValue(timeText(at));
    q.addBindValue(text(echoBytes));
    q.addBindValue(writeId);
    q.addBindValue(row);
    q.addBindValue(text(code));
    return d_->exec(q);
}

std::optional<std::vector<WriteEntry>> RecordStore::writes(const WriteFilter& f) {
    if (!isOpen())
        return std::nullopt;
    QStringList where;
    QVariantList values;
    if (f.room) {
        where << QStringLiteral("room = ?");
        values << text(*f.room);
    }
    if (f.since.isValid()) {
        where << QStringLiteral("started >= ?");
        values << timeText(f.since);
    }
    if (!f.company.isEmpty() || !f.model.isEmpty()) {
        where << QStringLiteral("company = ? AND model = ?");
        values << text(f.company) << text(f.model);
    }
    if (f.kind) {
        where << QStringLiteral("kind = ?");
        values << kindText(*f.kind);
    }
    const QString condition = where.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));

    std::vector<WriteEntry> out;
    std::map<qint64, std::size_t> index;
    {
        QSqlQuery q(d_->db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM writes%2 ORDER BY started, id")
                      .arg(QLatin1String(kWriteColumns), condition));
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!d_->exec(q))
            return std::nullopt;
        while (q.next()) {
            WriteEntry w;
            w.id = q.value(0).toLongLong();
            w.start.kind = kindFromText(q.value(1).toString()).value_or(WriteKind::Codes);
            w.started = timeFrom(q.value(2));
            w.finished = timeFrom(q.value(3));
            w.outcome = writeOutcomeFromText(q.value(4).toString());
            w.message = q.value(5).toString();
            w.start.program = q.value(6).toString();
            w.start.room = q.value(7).toString();
            w.start.controller.port = q.value(8).toString();
            w.start.controller.edition = q.value(9).toInt();
            w.start.controller.controllerBaud = q.value(10).toInt();
            w.start.controller.machineType = q.value(11).toInt();
            w.start.controller.visualizerNumber = q.value(12).toInt();
            w.start.company = q.value(13).toString();
            w.start.model = q.value(14).toString();
            w.start.projectorBaud = static_cast<std::uint32_t>(q.value(15).toLongLong());
            w.start.roomBlock = q.value(16).toString();
            w.start.card = q.value(17).toString();
            index[w.id] = out.size();
            out.push_back(std::move(w));
        }
    }
    if (out.empty())
        return out;
    QSqlQuery q(d_->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT write_id, row, slot, name, code, parity, outcome, reason, at, "
                             "echo_at, echo_bytes FROM keys WHERE write_id IN "
                             "(SELECT id FROM writes%1) ORDER BY write_id, row")
                  .arg(condition));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!d_->exec(q))
        return std::nullopt;
    while (q.next()) {
        const auto it = index.find(q.value(0).toLongLong());
        if (it == index.end())
            continue;
        KeyEntry k;
        k.row = q.value(1).toInt();
        k.slot = q.value(2).toInt();
        k.name = q.value(3).toString();
        k.code = q.value(4).toString();
        k.parity = q.value(5).toInt();
        k.outcome = keyOutcomeFromText(q.value(6).toString()).value_or(KeyOutcome::Written);
        k.reason = q.value(7).toString();
        k.at = timeFrom(q.value(8));
        k.echoAt = timeFrom(q.value(9));
        k.echoBytes = q.value(10).toString();
        out[it->second].keys.push_back(std::move(k));
    }
    return out;
}

std::optional<QStringList> RecordStore::roomNames() {
    if (!isOpen())
        return std::nullopt;
    QSqlQuery q(d_->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT room FROM writes WHERE room <> '' GROUP BY room "
                             "ORDER BY max(started) DESC, room"));
    if (!d_->exec(q))
        return std::nullopt;
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

} // namespace pj::record
