#pragma once
// The catalogue exchange file: one UTF-8 CSV file holding the whole catalogue
// (docs/catalogue-csv.md describes it). Companies, then models in ID order,
// each followed by its key rows, so that importing into an empty catalogue
// gives every row its former ID.

#include "catalogue/cataloguedb.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pj::catalogue {

// The largest exchange file read (256 MiB), and the largest single field
// (1 MiB; the longest value stored, a description, takes at most 192 KiB).
inline constexpr qint64 kMaxCsvBytes = qint64(256) * 1024 * 1024;
inline constexpr qsizetype kMaxCsvFieldBytes = 1024 * 1024;

QByteArray writeCatalogueCsv(const CatalogueSnapshot& snapshot);

// Reads an exchange file as a stream of records, at most kMaxCsvBytes from
// `in`. BadFile with the line number when the file is malformed or a value
// would be refused (texts must be valid UTF-8 without control characters;
// names, speeds, slots, parities and codes follow checks.h). Nothing is
// dropped from a text: only a byte-order mark at the very start of the file
// is one.
Result<CatalogueSnapshot> readCatalogueCsv(QIODevice& in);
Result<CatalogueSnapshot> readCatalogueCsv(const QByteArray& data);
// Opens `path` and reads it: only a regular file of at most kMaxCsvBytes
// (a device, a pipe or a folder is refused before anything is read).
Result<CatalogueSnapshot> readCatalogueCsvFile(const QString& path);

// RFC 4180 records read one at a time from a device: fields separated by
// commas, quoted when they hold a comma, quote, CR or LF; a quote inside a
// quoted field doubled; a UTF-8 byte-order mark skipped at the start of the
// stream only. Fields come as the bytes in the file.
class CsvReader {
public:
    explicit CsvReader(QIODevice& in, qint64 maxBytes = kMaxCsvBytes);

    enum class Next { Record, End, Error };
    // The next record and the line it starts on.
    Next next(std::vector<QByteArray>& fields, int& line);
    // After Error: why ("引号没有闭合", …) and the line.
    const QString& errorText() const { return error_; }
    int errorLine() const { return errorLine_; }

private:
    int get();  // the next byte, or -1 at the end (or past the limit)
    int peek(); // the same without taking it
    bool fill();
    Next fail(const QString& why, int line);

    QIODevice& in_;
    qint64 maxBytes_;
    qint64 consumed_ = 0; // bytes taken into buf_ so far
    QByteArray buf_;
    qsizetype pos_ = 0;
    bool started_ = false;
    bool eof_ = false;
    bool tooLarge_ = false;
    int line_ = 1;
    QString error_;
    int errorLine_ = 0;
};

// All records of a buffer as text (strict UTF-8; a leading BOM skipped).
// nullopt for a malformed buffer (unterminated quote, invalid UTF-8); `line`
// gets the first line number of each record.
std::optional<std::vector<QStringList>> parseCsv(const QByteArray& data,
                                                 std::vector<int>* lines = nullptr);
QByteArray csvRecord(const QStringList& fields); // one record with its CRLF

} // namespace pj::catalogue
