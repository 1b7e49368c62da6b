#pragma once
// The main panel's writes in the commissioning record. With each write
// ("写码", "设置", the card's "写码") the room is asked for (the last name is
// offered again); the write is begun in the record before the worker starts,
// each key's outcome is committed from the worker as the sequence reports it,
// and the end is recorded when the task finishes. Echoes that tick a row of
// the codes written last are recorded as confirmations.
//
// The code list's context menu ("menuCodeList") holds "记录…"
// ("actionRecords": past writes of the shown model) and "房间报告…"
// ("actionReport"); both are greyed out while no record is kept.

#include "link/roomcard.h"
#include "link/state.h"
#include "record/recorder.h"
#include "shell/controllertask.h"

#include <QObject>
#include <QString>

#include <optional>

class QMenu;
class QWidget;

namespace pj::shell {

class PanelRecording : public QObject {
    Q_OBJECT
public:
    // The model the code list shows: its id and names (nullopt: none shown).
    struct ShownModel {
        int id = -1;
        QString company;
        QString model;
    };

    // `recorder` may be null (no record). The context menu is put on `codeList`.
    PanelRecording(record::Recorder* recorder, QWidget* codeList,
                   std::function<std::optional<ShownModel>()> shownModel,
                   QObject* parent = nullptr);
    ~PanelRecording() override;

    bool active() const { return recorder_ && recorder_->active(); }
    const QString& roomName() const { return room_; }

    // Asks for the room when a record is kept; false when the user cancelled
    // (nothing is to be written). Without a record it asks nothing.
    bool askRoom(QWidget* parent);

    // The job of a write about to start, recording it. Without a record the
    // job is returned as it is.
    ControllerTask::StoppableJob codes(const link::ShellState& shell,
                                       const link::SelectedModel& model,
                                       ControllerTask::StoppableJob job);
    ControllerTask::StoppableJob room(const link::ShellState& shell,
                                      const link::RoomParameters& params,
                                      ControllerTask::StoppableJob job);
    ControllerTask::StoppableJob card(const link::ShellState& shell, const QString& number,
                                      ControllerTask::StoppableJob job);
    // The running write ended (ControllerTask::finished).
    void finished(int outcome, const QString& message);
    // A received block ticked `row` of the code list.
    void echo(int row, const link::Bytes& block);

    QMenu* contextMenu() const { return menu_; }
    void showRecords(QWidget* parent);
    void showReport(QWidget* parent);

Q_SIGNALS:
    // Recording failed part way (disk full, file taken away): the text to show.
    void failed(const QString& text);

private:
    record::WriteStart start(record::WriteKind kind, const link::ShellState& shell) const;
    ControllerTask::StoppableJob wrap(qint64 writeId, link::CodeList rows,
                                      ControllerTask::StoppableJob job);
    void openMenu(const QPoint& at);

    record::Recorder* recorder_;
    QWidget* codeList_;
    std::function<std::optional<ShownModel>()> shownModel_;
    QString room_;
    qint64 running_ = 0; // the write of the running task
    // The codes written last, for their echoes.
    qint64 codesWrite_ = 0;
    int codesModel_ = -1;
    link::CodeList codesRows_;
    QMenu* menu_ = nullptr;
};

} // namespace pj::shell
