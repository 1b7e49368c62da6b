#include "shell/records/reportdialog.h"

#include "record/reportfile.h"
#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pj::shell {

namespace {

const char* const kSuffixes[] = {"html", "csv", "pdf"};

QLabel* label(QWidget* parent, const QString& name, const QString& text, const QRect& r) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(r);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

} // namespace

ReportDialog::ReportDialog(record::Recorder& recorder, QWidget* parent)
    : SkinnedDialog(QStringLiteral("房间报告"), QSize(kWidthDlu, kHeightDlu), parent)
    , recorder_(recorder) {
    setObjectName(QStringLiteral("report"));

    label(this, QStringLiteral("labelReportRoom"), QStringLiteral("房间"),
          skin::dlu(12, 24, 40, 13));
    room_ = new QComboBox(this);
    room_->setObjectName(QStringLiteral("comboReportRoom"));
    room_->addItem(QStringLiteral("全部房间"));
    room_->addItems(recorder_.roomNames());
    room_->setGeometry(skin::dlu(56, 24, 180, 13));

    sinceOn_ = new QCheckBox(QStringLiteral("只包括此日以后的写入"), this);
    sinceOn_->setObjectName(QStringLiteral("checkSince"));
    sinceOn_->setGeometry(skin::dlu(12, 43, 110, 13));
    since_ = new QDateEdit(QDate::currentDate(), this);
    since_->setObjectName(QStringLiteral("dateSince"));
    since_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    since_->setCalendarPopup(true);
    since_->setEnabled(false);
    since_->setGeometry(skin::dlu(126, 43, 70, 13));
    connect(sinceOn_, &QCheckBox::toggled, since_, &QWidget::setEnabled);

    label(this, QStringLiteral("labelFormat"), QStringLiteral("格式"), skin::dlu(12, 62, 40, 13));
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("comboFormat"));
    format_->addItems({QStringLiteral("HTML"), QStringLiteral("CSV"), QStringLiteral("PDF")});
    format_->setGeometry(skin::dlu(56, 62, 60, 13));

    label(this, QStringLiteral("labelReportFile"), QStringLiteral("文件"),
          skin::dlu(12, 81, 40, 13));
    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("editReportFile"));
    file_->setGeometry(skin::dlu(56, 81, 140, 13));
    const QFileInfo recordFile(recorder_.path());
    file_->setText(recordFile.dir().filePath(QStringLiteral("房间报告.html")));
    auto* browse = new QPushButton(QStringLiteral("浏览…"), this);
    browse->setObjectName(QStringLiteral("buttonBrowse"));
    browse->setGeometry(skin::dlu(200, 80, 36, 15));

    auto* makeButton = new QPushButton(QStringLiteral("生成"), this);
    makeButton->setObjectName(QStringLiteral("buttonMake"));
    makeButton->setGeometry(skin::dlu(124, 108, 54, 15));
    makeButton->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("buttonReportClose"));
    close->setGeometry(skin::dlu(182, 108, 54, 15));

    connect(format_, &QComboBox::currentIndexChanged, this, &ReportDialog::formatChanged);
    connect(browse, &QPushButton::clicked, this, &ReportDialog::browse);
    connect(close, &QPushButton::clicked, this, [this] { done(0); });
    connect(makeButton, &QPushButton::clicked, this, [this] {
        QString message;
        make(message);
        showMessage(this, message);
    });
}

int ReportDialog::run(record::Recorder& recorder, QWidget* parent) {
    ReportDialog d(recorder, parent);
    return runModal(d);
}

void ReportDialog::formatChanged() {
    // A file name that ends as a report does takes the new format's ending.
    QString path = file_->text();
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const char* s : kSuffixes) {
        if (suffix == QLatin1String(s)) {
            path.chop(suffix.size());
            path += QLatin1String(kSuffixes[format_->currentIndex()]);
            file_->setText(path);
            return;
        }
    }
}

void ReportDialog::browse() {
    const QString suffix = QLatin1String(kSuffixes[format_->currentIndex()]);
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("保存报告"), file_->text(),
        QStringLiteral("%1 (*.%2)").arg(format_->currentText(), suffix));
    if (!path.isEmpty())
        file_->setText(path);
}

bool ReportDialog::make(QString& message) {
    const QString path = file_->text().trimmed();
    if (path.isEmpty()) {
        message = QStringLiteral("请填写报告文件名");
        return false;
    }
    record::WriteFilter filter;
    if (room_->currentIndex() > 0)
        filter.room = room_->currentText();
    if (sinceOn_->isChecked())
        filter.since = QDateTime(since_->date(), QTime(0, 0)).toUTC();
    const auto writes = recorder_.writes(filter);
    if (!writes) {
        message = QStringLiteral("无法读取调试记录：%1").arg(recorder_.problem());
        return false;
    }
    record::RoomReport report = record::buildRoomReport(*writes, recorder_.now());
    report.roomFilter = filter.room.value_or(QString());
    report.since = filter.since;
    const auto format = static_cast<record::ReportFormat>(format_->currentIndex());
    QString error;
    if (!record::writeReportFile(report, format, path, error)) {
        message = error;
        return false;
    }
    message = report.rooms.empty()
                  ? QStringLiteral("报告已写入 %1（没有符合条件的写入）").arg(path)
                  : QStringLiteral("报告已写入 %1（%2 个房间）").arg(path).arg(report.rooms.size());
    return true;
}

} // namespace pj::shell
