#pragma once
// The room report handed to a school: one page per room with its controller,
// the projector model, each key and whether the controller echoed it, the
// room parameters and the ID card, and a summary table at the top. Built from
// the record's writes; written as HTML (with its own style), CSV, or PDF
// (reportpdf.h).

#include "record/recordtypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace pj::record {

// A key as the room's controller holds it now: the last write of its slot.
struct RoomKey {
    int slot = 0;
    QString name; // the key's name in the catalogue
    QString code;
    QString company; // the model the key came from
    QString model;
    KeyOutcome outcome = KeyOutcome::Written;
    QString reason; // refused: why
    QDateTime at;   // written or refused
    QDateTime echoAt;
    QString echoBytes;
};

struct RoomPage {
    QString room; // empty: writes made without a room name
    ControllerInfo controller;
    QString company; // the model of the last code write that sent a key
    QString model;
    std::uint32_t projectorBaud = 0;
    QDateTime firstWrite;
    QDateTime lastWrite;
    std::vector<RoomKey> keys; // in slot order
    QString roomBlock;         // hex text of the block last written, empty when none
    QDateTime roomAt;
    std::optional<QString> card; // the number last written
    QDateTime cardAt;
    // Writes that did not complete after the last that did, one line each.
    QStringList problems;

    int keysConfirmed() const;
    int keysUnconfirmed() const; // written, never echoed
    int keysRefused() const;
};

struct RoomReport {
    QDateTime made; // UTC
    QString roomFilter;
    QDateTime since;
    std::vector<RoomPage> rooms; // room names in natural order, writes without one last

    int keysConfirmed() const;
    int keysUnconfirmed() const;
    int keysRefused() const;
};

// `writes` in the order they started (RecordStore::writes).
RoomReport buildRoomReport(const std::vector<WriteEntry>& writes, const QDateTime& made);

// Texts the report shows.
QString roomTitle(const QString& room); // "（未命名）" for the empty name
QString editionText(int editionCode);   // "2009（Dorim版）"
QString machineTypeText(int machineType);
QString keyNameOfSlot(int slot); // "开机1"
// The room parameters of a hex block, one "label: value" pair each.
std::vector<std::pair<QString, QString>> roomParameterTexts(const QString& blockHex);
QString localTime(const QDateTime& utc); // "2026-12-07 10:11:12"

// The whole report as one HTML file (UTF-8, its style inside), each room on
// a page of its own when printed.
QByteArray reportHtml(const RoomReport& report);
// One CSV record per key (a room without keys gets one record), UTF-8 with a
// byte order mark, CRLF; docs/commissioning.md describes the columns.
QByteArray reportCsv(const RoomReport& report);

} // namespace pj::record
