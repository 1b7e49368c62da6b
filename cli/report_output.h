#pragma once
// The report files projector-cli writes (report, commission): --html FILE,
// --csv FILE and --pdf FILE, any of them.

#include "cli/args.h"
#include "record/roomreport.h"

#include <iosfwd>
#include <optional>

#include <QDateTime>

namespace pj::cli {

void addReportOptions(OptionSpec& spec);
inline constexpr char kReportFilesSynopsis[] = "--html FILE | --csv FILE | --pdf FILE";
bool wantsReport(const ParsedArgs& args);

// Writes every file asked for, each whole or not at all; a line on `out` for
// each written, on `err` for each failure. False when any failed.
bool writeReportFiles(const record::RoomReport& report, const ParsedArgs& args, std::ostream& out,
                      std::ostream& err);

// --since: "2026-12-01" (local midnight), "2026-12-01 08:30[:00]" or with a
// "T" between date and time, in local time. nullopt when it is none of these.
std::optional<QDateTime> parseSince(const std::string& text);

} // namespace pj::cli
