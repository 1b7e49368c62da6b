#include "shell/records/panelrecording.h"

#include "record/linkrecording.h"
#include "shell/dialogs/modal.h"
#include "shell/records/recorddialog.h"
#include "shell/records/reportdialog.h"
#include "shell/records/roomnamedialog.h"

#include <QMenu>
#include <QMetaObject>
#include <QWidget>

namespace pj::shell {

PanelRecording::PanelRecording(record::Recorder* recorder, QWidget* codeList,
                               std::function<std::optional<ShownModel>()> shownModel,
                               QObject* parent)
    : QObject(parent)
    , recorder_(recorder)
    , codeList_(codeList)
    , shownModel_(std::move(shownModel)) {
    if (recorder_) {
        // The failure may come from the worker: it is shown on this thread.
        recorder_->setFailureSink([this](const QString& text) {
            QMetaObject::invokeMethod(
                this,
                [this, text] {
                    Q_EMIT failed(QStringLiteral("%1\n此后的写入不再记录。").arg(text));
                },
                Qt::QueuedConnection);
        });
    }
    menu_ = new QMenu(codeList_);
    menu_->setObjectName(QStringLiteral("menuCodeList"));
    QAction* records = menu_->addAction(QStringLiteral("记录…"));
    records->setObjectName(QStringLiteral("actionRecords"));
    QAction* report = menu_->addAction(QStringLiteral("房间报告…"));
    report->setObjectName(QStringLiteral("actionReport"));
    connect(records, &QAction::triggered, this, [this] { showRecords(codeList_->window()); });
    connect(report, &QAction::triggered, this, [this] { showReport(codeList_->window()); });
    codeList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(codeList_, &QWidget::customContextMenuRequested, this, &PanelRecording::openMenu);
}

PanelRecording::~PanelRecording() {
    if (recorder_)
        recorder_->setFailureSink(nullptr);
}

void PanelRecording::openMenu(const QPoint& at) {
    const bool shown = shownModel_ && shownModel_().has_value();
    menu_->actions()[0]->setEnabled(active() && shown);
    menu_->actions()[1]->setEnabled(active());
    menu_->popup(codeList_->mapToGlobal(at));
}

bool PanelRecording::askRoom(QWidget* parent) {
    if (!active())
        return true;
    const auto name = RoomNameDialog::ask(room_, recorder_->roomNames(), parent);
    if (!name)
        return false;
    room_ = *name;
    return true;
}

record::WriteStart PanelRecording::start(record::WriteKind kind,
                                         const link::ShellState& shell) const {
    record::WriteStart s;
    s.kind = kind;
    s.program = QStringLiteral("PROJECTOR");
    s.room = room_;
    s.controller = record::controllerOf(shell);
    return s;
}

ControllerTask::StoppableJob PanelRecording::wrap(qint64 writeId, link::CodeList rows,
                                                  ControllerTask::StoppableJob job) {
    running_ = writeId;
    if (!writeId)
        return job;
    return [recorder = recorder_, writeId, rows = std::move(rows),
            job = std::move(job)](link::SequenceObserver& shown, std::stop_token stop) {
        record::RecordingObserver observer(*recorder, writeId, rows, shown);
        return job(observer, stop);
    };
}

ControllerTask::StoppableJob PanelRecording::codes(const link::ShellState& shell,
                                                   const link::SelectedModel& model,
                                                   ControllerTask::StoppableJob job) {
    if (!active())
        return job;
    record::WriteStart s = start(record::WriteKind::Codes, shell);
    const auto shown = shownModel_ ? shownModel_() : std::nullopt;
    if (shown) {
        s.company = shown->company;
        s.model = shown->model;
    }
    s.projectorBaud = model.selectedBaud;
    const qint64 id = recorder_->beginWrite(s);
    codesWrite_ = id;
    codesModel_ = shown ? shown->id : -1;
    codesRows_ = model.rows;
    return wrap(id, model.rows, std::move(job));
}

ControllerTask::StoppableJob PanelRecording::room(const link::ShellState& shell,
                                                  const link::RoomParameters& params,
                                                  ControllerTask::StoppableJob job) {
    if (!active())
        return job;
    record::WriteStart s = start(record::WriteKind::Room, shell);
    s.roomBlock = record::roomBlockText(link::buildRoomBlock(params));
    return wrap(recorder_->beginWrite(s), {}, std::move(job));
}

ControllerTask::StoppableJob PanelRecording::card(const link::ShellState& shell,
                                                  const QString& number,
                                                  ControllerTask::StoppableJob job) {
    if (!active())
        return job;
    record::WriteStart s = start(record::WriteKind::Card, shell);
    s.card = number;
    return wrap(recorder_->beginWrite(s), {}, std::move(job));
}

void PanelRecording::finished(int outcome, const QString& message) {
    if (!recorder_ || !running_)
        return;
    recorder_->finishWrite(running_, record::outcomeOf(static_cast<link::SequenceOutcome>(outcome)),
                           message);
    running_ = 0;
}

void PanelRecording::echo(int row, const link::Bytes& block) {
    if (!recorder_ || !codesWrite_ || row < 0 || row >= static_cast<int>(codesRows_.size()))
        return;
    const auto shown = shownModel_ ? shownModel_() : std::nullopt;
    if (!shown || shown->id != codesModel_)
        return; // the rows are another model's now
    record::recordEcho(*recorder_, codesWrite_, row, codesRows_[static_cast<std::size_t>(row)],
                       block);
}

void PanelRecording::showRecords(QWidget* parent) {
    const auto shown = shownModel_ ? shownModel_() : std::nullopt;
    if (!active() || !shown)
        return;
    record::WriteFilter filter;
    filter.company = shown->company;
    filter.model = shown->model;
    filter.kind = record::WriteKind::Codes;
    const auto writes = recorder_->writes(filter);
    if (!writes) {
        showMessage(parent, QStringLiteral("无法读取调试记录：%1").arg(recorder_->problem()));
        return;
    }
    RecordDialog d(
        shown->company, shown->model, *writes, [this, parent] { showReport(parent); }, parent);
    runModal(d);
}

void PanelRecording::showReport(QWidget* parent) {
    if (active())
        ReportDialog::run(*recorder_, parent);
}

} // namespace pj::shell
