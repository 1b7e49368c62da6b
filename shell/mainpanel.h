#pragma once
// The main panel (dialog 120): the catalogue tree and the code list, the write
// button with its progress bar, the room-parameter controls with "设置", the ID
// card number with its own "写码", and the picture buttons for the receive
// monitor, the About box and the help.
//
// Controller operations run on a worker (ControllerTask); while one runs the
// other operations, the tree and the boxes of the code list are locked, and the
// window keeps repainting. "试发" (from the code list's context menu or the
// model editor) runs as such an operation too: the code goes to the projector
// on the program's port and the test-send window shows the answer.
// Object names: "panel120", "tree1009", "list1010",
// "edit1011", "button1013", "button1016", "progress1052", "combo1043",
// "combo1044", "combo1045", "edit1046", "check1047", "check1048", "combo1085",
// "combo1088", "button1049", "edit1086", "button1087", "button1061",
// "button1021", "button1050"; labels "label1043" ... (the text beside a
// control), units "unit1044", "unit1046"; separators "line1" ... "line4".

#include "codecheck/checker.h"
#include "link/roomcard.h"
#include "link/serialchannel.h"
#include "link/state.h"
#include "shell/cataloguebrowser.h"
#include "shell/controllertask.h"
#include "shell/dialogs/testsenddialog.h"

#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace pj::skin {
class BitmapButton;
}

namespace pj::record {
class Recorder;
}

namespace pj::shell {

class CatalogueEditing;
class CatalogueTree;
class CodeListView;
class ReceiveMonitor;
class PanelRecording;

struct PanelContext {
    link::ShellState& shell;
    CatalogueBrowser& browser; // holds the SelectedModel and the code-list rows
    link::SerialChannel& channel;
    // The ports tried now (for the settings dialog).
    std::function<std::vector<link::PortCheck>()> listPorts;
    // The catalogue edits behind the tree's context menu (none: the menu's
    // commands are only announced by treeCommandRequested).
    CatalogueEditing* editing = nullptr;
    // The makers' framing rules for the model editor; null: codes are not judged.
    std::shared_ptr<const codecheck::Checker> checker;
    // The commissioning record the writes go into (none: nothing is recorded).
    record::Recorder* recorder = nullptr;
};

struct TrialRun;

class MainPanel : public QWidget {
    Q_OBJECT
public:
    // Size of dialog 120 in dialog units.
    static constexpr int kWidthDlu = 500;
    static constexpr int kHeightDlu = 330;

    explicit MainPanel(PanelContext context, QWidget* parent = nullptr);
    ~MainPanel() override;

    static QSize panelSize(); // in pixels

    CatalogueTree* tree() const { return tree_; }
    CodeListView* codeList() const { return list_; }
    // The receive monitor while it is open, else null.
    ReceiveMonitor* monitor() const;
    PanelRecording* recording() const { return recording_; }
    bool busy() const { return task_.busy(); }
    ControllerTask& task() { return task_; }
    // Asks the running operation to end at its next pause (a code write then
    // says how many codes went out). Returns the notice to show meanwhile, or
    // an empty text when nothing runs.
    QString stopOperation();

    // The room parameters as the controls hold them now; nullopt when the
    // off delay or the curtain time is not a whole number 0..255, with the
    // message in `refusal` and the offending field in `field` (when given).
    std::optional<link::RoomParameters> roomParameters(QString* refusal = nullptr,
                                                       QWidget** field = nullptr) const;

    // A block the serial reader received (already on this thread): ticks the
    // row whose code it is, and goes to the receive monitor when it is open.
    void onReceived(const link::Bytes& block);
    // A failure reported by the serial channel (moved to this thread). A
    // device lost while the receive monitor listens is told in its box.
    void showChannelMessage(const QString& text);

    // "试发": sends `trial` to the projector on the program's port and shows
    // the answer in the test-send window over `parent` (the main window when
    // null); returns when that window is closed. Refused with a message while
    // a controller operation runs.
    void testSend(const CodeTrial& trial, QWidget* parent = nullptr);
    // "试发" on a row of the code list: its code at the model's speed and the
    // row's parity.
    void testSendRow(int row);

    // "刷新": reads the catalogue tree again, keeping expanded companies and
    // the selection where they still exist. Nothing while an operation runs.
    void refreshTree();
    // The same when the catalogue changed since the tree last matched it
    // (the window calls it when it is activated).
    void refreshIfChanged();

public Q_SLOTS:
    void writeCodes();          // 1013
    void openSettings();        // 1016
    void writeRoomParameters(); // 1049
    void writeIdCard();         // 1087
    void openAbout();           // 1021
    void openHelp();            // 1050
    void openMonitor();         // 1061

Q_SIGNALS:
    // A controller operation began or ended.
    void busyChanged(bool busy);
    // A received block for the receive monitor (while ShellState::monitorOpen).
    void receivedForMonitor(const QByteArray& block);
    // The receive monitor was asked for.
    void monitorRequested();
    // A context-menu command of the tree was chosen.
    void treeCommandRequested(pj::shell::TreeCommand command);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    enum class Operation { None, Codes, Room, Card, Trial };

    void buildControls();
    void fillRoomControls();
    bool startOperation(Operation op, ControllerTask::StoppableJob job,
                        bool confirmApproximate = false);
    void setBusy(Operation op);
    void onTaskFinished(int outcome, const QString& message, int rowsWritten, int rowsRefused);
    void onTreeCommand(TreeCommand command);
    void report(const QString& text);
    void updateWriteButton();

    link::ShellState& shell_;
    CatalogueBrowser& browser_;
    link::SerialChannel& channel_;
    std::function<std::vector<link::PortCheck>()> listPorts_;
    CatalogueEditing* editing_ = nullptr;
    ControllerTask task_;
    PanelRecording* recording_ = nullptr;
    Operation running_ = Operation::None;
    // The copies the running operation works on, read back when it ends.
    std::shared_ptr<link::SelectedModel> codeSnapshot_;
    std::shared_ptr<link::ShellState> shellSnapshot_;
    QStringList shownThisRun_; // messages already shown for the running operation
    std::vector<std::pair<QString, QString>> refusedRows_; // row name, reason
    // The control that had the keyboard focus when the operation greyed it out.
    QPointer<QWidget> focusBeforeBusy_;
    std::shared_ptr<const codecheck::Checker> checker_;
    // The running test send: what it reports, its window.
    std::shared_ptr<TrialRun> trialRun_;
    QPointer<TestSendDialog> trialDialog_;

    CatalogueTree* tree_ = nullptr;
    CodeListView* list_ = nullptr;
    QPushButton* setPort_ = nullptr;        // 1016
    QPushButton* writeCodes_ = nullptr;     // 1013
    QProgressBar* progress_ = nullptr;      // 1052
    QComboBox* source_ = nullptr;           // 1043
    QComboBox* offDelay_ = nullptr;         // 1044
    QComboBox* visualizer_ = nullptr;       // 1045
    QLineEdit* curtain_ = nullptr;          // 1046
    QCheckBox* alarm_ = nullptr;            // 1047
    QCheckBox* oneKey_ = nullptr;           // 1048
    QComboBox* door_ = nullptr;             // 1085
    QComboBox* machine_ = nullptr;          // 1088
    QPushButton* setRoom_ = nullptr;        // 1049
    QLineEdit* card_ = nullptr;             // 1086
    QPushButton* writeCard_ = nullptr;      // 1087
    skin::BitmapButton* monitor_ = nullptr; // 1061
    skin::BitmapButton* about_ = nullptr;   // 1021
    skin::BitmapButton* help_ = nullptr;    // 1050
    QPointer<ReceiveMonitor> monitorWindow_;
};

} // namespace pj::shell
