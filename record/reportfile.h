#pragma once
// The room report as a file: HTML, CSV, or a PDF (A4, the summary on the
// first page, each room on a page of its own, laid out by Qt's rich-text
// printing). A PDF needs a running QGuiApplication (the command line starts
// one on the offscreen platform).

#include "record/roomreport.h"

#include <QString>

namespace pj::record {

enum class ReportFormat { Html, Csv, Pdf };

// Writes `path` whole or not at all. False with the reason in `error`.
bool writeReportFile(const RoomReport& report, ReportFormat format, const QString& path,
                     QString& error);
bool writeReportPdf(const RoomReport& report, const QString& path, QString& error);

} // namespace pj::record
