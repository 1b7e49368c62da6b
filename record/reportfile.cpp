#include "record/reportfile.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace pj::record {

bool writeReportFile(const RoomReport& report, ReportFormat format, const QString& path,
                     QString& error) {
    if (format == ReportFormat::Pdf)
        return writeReportPdf(report, path, error);
    const QByteArray data = format == ReportFormat::Html ? reportHtml(report) : reportCsv(report);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool writeReportPdf(const RoomReport& report, const QString& path, QString& error) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        error = QStringLiteral("生成 PDF 需要图形支持（没有 QGuiApplication）");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("房间调试报告"));
        writer.setCreator(QStringLiteral("PROJECTOR"));
        QTextDocument doc;
        // Laid out on the writer's own pages: QTextDocument::print would add
        // margins of its own to an unpaginated document and push rooms over
        // a page.
        doc.documentLayout()->setPaintDevice(&writer);
        QFont font = doc.defaultFont();
        font.setPointSizeF(9);
        doc.setDefaultFont(font);
        doc.setHtml(QString::fromUtf8(reportHtml(report)));
        doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        doc.print(&writer);
    }
    if (!file.commit()) {
        error = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace pj::record
