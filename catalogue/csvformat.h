#pragma once
// The catalogue exchange file: one UTF-8 CSV file holding the whole catalogue
// (docs/catalogue-csv.md describes it). Companies, then models in ID order,
// each followed by its key rows, so that importing into an empty catalogue
// gives every row its former ID.

#include "catalogue/cataloguedb.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace pj::catalogue {

QByteArray writeCatalogueCsv(const CatalogueSnapshot& snapshot);

// BadFile with the line number when the file is malformed.
Result<CatalogueSnapshot> readCatalogueCsv(const QByteArray& data);

// RFC 4180 records: fields separated by commas, quoted when they hold a comma,
// quote, CR or LF; a quote inside a quoted field doubled. A leading UTF-8 BOM
// is skipped. nullopt for an unterminated quote; `line` gets the first line
// number of each record.
std::optional<std::vector<QStringList>> parseCsv(const QByteArray& data,
                                                 std::vector<int>* lines = nullptr);
QByteArray csvRecord(const QStringList& fields); // one record with its CRLF

} // namespace pj::catalogue
