#pragma once
// What the commissioning record holds: one entry per controller write (codes,
// room parameters or ID card) with the controller and, for a code write, one
// row per key and what became of it. Plain values; the store and the report
// read and write them.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pj::record {

enum class WriteKind { Codes, Room, Card };

enum class KeyOutcome {
    Written,   // the key's frame went out
    Refused,   // the key was not sent (the reason says why)
    Confirmed, // written, and the controller sent the code back
};

// How a write ended. Pending: the program ended (crash, power) before it did.
enum class WriteOutcome {
    Pending,
    Completed,    // every step ran (single keys may have been refused)
    Refused,      // the settings made the write impossible; nothing was sent
    Cancelled,    // the user declined; nothing was sent
    PortFailed,   // the port could not be opened; nothing was sent
    WriteFailed,  // the device went away or a write failed part way
    LineRefused,  // the port could not listen at the projector's line; nothing was sent
    ListenFailed, // everything went out, listening afterwards failed
    Stopped,      // the user stopped the write part way
};

// Stored texts of the enumerations ("codes", "written", "write_failed" ...).
QString kindText(WriteKind kind);
std::optional<WriteKind> kindFromText(const QString& text);
QString keyOutcomeText(KeyOutcome outcome);
std::optional<KeyOutcome> keyOutcomeFromText(const QString& text);
QString writeOutcomeText(WriteOutcome outcome);
WriteOutcome writeOutcomeFromText(const QString& text); // unknown: WriteFailed

// The controller as the write saw it.
struct ControllerInfo {
    QString port;
    int edition = 0;
    int controllerBaud = 0; // programming speed
    int machineType = 0;    // 0 standalone, 1 network, -1 typed
    int visualizerNumber = 1;
};

// What is known when a write begins.
struct WriteStart {
    WriteKind kind = WriteKind::Codes;
    QString program; // "PROJECTOR", "projector-cli"
    QString room;    // optional room name
    ControllerInfo controller;
    // Codes: the model (empty when the codes were given by hand) and the
    // projector's line speed.
    QString company;
    QString model;
    std::uint32_t projectorBaud = 0;
    // Room: the 8-byte block as hex text ("01 00 01 01 05 00 00 00").
    QString roomBlock;
    // Card: the number as typed.
    QString card;
};

// One key of a code write.
struct KeyEntry {
    int row = 0;    // position in the code list
    int slot = 0;   // controller key slot 0..17
    QString name;   // the key's name in the catalogue
    QString code;   // hex text of the code bytes
    int parity = 0; // 0 none, 1 odd, 2 even
    KeyOutcome outcome = KeyOutcome::Written;
    QString reason;   // Refused: why
    QDateTime at;     // when it was written or refused (UTC)
    QDateTime echoAt; // Confirmed: when the echo arrived (UTC)
    QString echoBytes;
};

struct WriteEntry {
    qint64 id = 0;
    WriteStart start;
    QDateTime started; // UTC
    QDateTime finished;
    WriteOutcome outcome = WriteOutcome::Pending;
    QString message;
    std::vector<KeyEntry> keys; // in row order
};

// Which writes to read. Empty fields do not filter.
struct WriteFilter {
    std::optional<QString> room; // exact room name ("" for writes without one)
    QDateTime since;             // writes started at or after (UTC)
    QString company;             // with model: writes of that model
    QString model;
    std::optional<WriteKind> kind;
};

} // namespace pj::record
