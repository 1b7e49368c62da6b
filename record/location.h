#pragma once
// Where the commissioning record is kept: beside the catalogue, in a file of
// its own (the catalogue may be shared, or an Access file that must not grow
// tables of ours).

#include <QString>

namespace pj::record {

inline constexpr char kRecordEnv[] = "PROJECTOR_RECORD";
inline constexpr char kRecordFileName[] = "projector-record.db";

// PROJECTOR_RECORD when it is set and not empty; otherwise kRecordFileName in
// the folder of `catalogueFile` (for a catalogue reached through ODBC, give
// the file the program would have used: the record stays in that folder).
QString recordFileFor(const QString& catalogueFile);

} // namespace pj::record
