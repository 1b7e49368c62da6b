#pragma once
// "房间报告": the room report from the commissioning record, for one room or
// all, optionally only the writes since a day, as HTML, CSV or PDF, written to
// the file named. "生成" writes it and says where (or why not); the dialog
// stays for another report.
//
// Object names: the dialog "report", the room "comboReportRoom" (first item
// "全部房间"), "checkSince" with "dateSince", the format "comboFormat" (HTML,
// CSV, PDF), the file "editReportFile", "buttonBrowse", "buttonMake",
// "buttonReportClose".

#include "record/recorder.h"
#include "skin/skinneddialog.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;

namespace pj::shell {

class ReportDialog : public skin::SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDlu = 250;
    static constexpr int kHeightDlu = 132;

    ReportDialog(record::Recorder& recorder, QWidget* parent = nullptr);

    // Makes the report the controls ask for; the message says how it went.
    bool make(QString& message);

    static int run(record::Recorder& recorder, QWidget* parent);

private:
    void browse();
    void formatChanged();

    record::Recorder& recorder_;
    QComboBox* room_ = nullptr;
    QCheckBox* sinceOn_ = nullptr;
    QDateEdit* since_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* file_ = nullptr;
};

} // namespace pj::shell
