#pragma once
// The room report as a PDF: A4, the summary on the first page, each room on a
// page of its own, laid out by Qt's rich-text printing. Needs a running
// QGuiApplication (the command line starts one on the offscreen platform).

#include "record/roomreport.h"

#include <QString>

namespace pj::record {

// Writes `path` whole or not at all. False with the reason in `error`.
bool writeReportPdf(const RoomReport& report, const QString& path, QString& error);

} // namespace pj::record
