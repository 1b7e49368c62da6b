#include "shell/records/recorddialog.h"

#include "record/roomreport.h"
#include "skin/units.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

namespace pj::shell {

namespace {

QTreeWidget* makeList(QWidget* parent, const QString& name, const QStringList& headers,
                      const QList<int>& widths) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setHeaderLabels(headers);
    for (int i = 0; i < widths.size(); ++i)
        list->header()->resizeSection(i, widths[i]);
    list->header()->setSectionsMovable(false);
    return list;
}

} // namespace

QString RecordDialog::outcomeText(const record::WriteEntry& w) {
    int written = 0;
    int confirmed = 0;
    int refused = 0;
    for (const auto& k : w.keys) {
        written += k.outcome != record::KeyOutcome::Refused ? 1 : 0;
        confirmed += k.outcome == record::KeyOutcome::Confirmed ? 1 : 0;
        refused += k.outcome == record::KeyOutcome::Refused ? 1 : 0;
    }
    QString keys = QStringLiteral("写入 %1 个，确认 %2 个").arg(written).arg(confirmed);
    if (refused)
        keys += QStringLiteral("，未写入 %1 个").arg(refused);
    switch (w.outcome) {
    case record::WriteOutcome::Completed:
        return keys;
    case record::WriteOutcome::Pending:
        return QStringLiteral("未完成（程序中途结束）：") + keys;
    default:
        return (w.message.isEmpty() ? QStringLiteral("未完成") : w.message) + QStringLiteral("：") +
               keys;
    }
}

QString RecordDialog::keyOutcomeText(const record::KeyEntry& k) {
    switch (k.outcome) {
    case record::KeyOutcome::Written:
        return QStringLiteral("已写入，未收到回码");
    case record::KeyOutcome::Confirmed:
        return QStringLiteral("已确认（%1，回码 %2）")
            .arg(record::localTime(k.echoAt), k.echoBytes);
    case record::KeyOutcome::Refused:
        return QStringLiteral("未写入：%1").arg(k.reason);
    }
    return {};
}

RecordDialog::RecordDialog(const QString& company, const QString& model,
                           std::vector<record::WriteEntry> writes, std::function<void()> openReport,
                           QWidget* parent)
    : SkinnedDialog(QStringLiteral("写码记录"), QSize(kWidthDlu, kHeightDlu), parent)
    , entries_(std::move(writes)) {
    setObjectName(QStringLiteral("records"));
    std::reverse(entries_.begin(), entries_.end());

    auto* title = new QLabel(
        QStringLiteral("%1 %2：%3 次写码").arg(company, model).arg(entries_.size()), this);
    title->setObjectName(QStringLiteral("labelModel"));
    title->setGeometry(skin::dlu(10, 20, 360, 12));

    writes_ = makeList(this, QStringLiteral("listWrites"),
                       {QStringLiteral("时间"), QStringLiteral("房间"), QStringLiteral("串口"),
                        QStringLiteral("中控版本"), QStringLiteral("结果")},
                       {125, 80, 90, 90, 200});
    writes_->setGeometry(skin::dlu(10, 34, 360, 92));
    for (const auto& w : entries_) {
        auto* item = new QTreeWidgetItem(
            writes_,
            {record::localTime(w.started), record::roomTitle(w.start.room), w.start.controller.port,
             record::editionText(w.start.controller.edition), outcomeText(w)});
        item->setToolTip(4, item->text(4));
    }

    keys_ = makeList(this, QStringLiteral("listKeys"),
                     {QStringLiteral("键位"), QStringLiteral("功能"), QStringLiteral("功能码"),
                      QStringLiteral("结果")},
                     {70, 100, 190, 250});
    keys_->setGeometry(skin::dlu(10, 132, 360, 90));

    auto* report = new QPushButton(QStringLiteral("房间报告…"), this);
    report->setObjectName(QStringLiteral("buttonReport"));
    report->setGeometry(skin::dlu(250, 228, 58, 15));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("buttonRecordsClose"));
    close->setGeometry(skin::dlu(314, 228, 56, 15));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, [this] { done(0); });
    connect(report, &QPushButton::clicked, this, [openReport] {
        if (openReport)
            openReport();
    });
    connect(writes_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { showKeys(writes_->indexOfTopLevelItem(item)); });
    if (!entries_.empty())
        writes_->setCurrentItem(writes_->topLevelItem(0));
}

void RecordDialog::showKeys(int index) {
    keys_->clear();
    if (index < 0 || index >= static_cast<int>(entries_.size()))
        return;
    for (const auto& k : entries_[static_cast<std::size_t>(index)].keys) {
        auto* item = new QTreeWidgetItem(
            keys_, {QStringLiteral("%1 %2").arg(k.slot).arg(record::keyNameOfSlot(k.slot)), k.name,
                    k.code, keyOutcomeText(k)});
        item->setToolTip(3, item->text(3));
    }
}

} // namespace pj::shell
