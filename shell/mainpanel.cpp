#include "shell/mainpanel.h"

#include "link/edition.h"
#include "link/messages.h"
#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/aboutdialog.h"
#include "shell/dialogs/help.h"
#include "shell/dialogs/modal.h"
#include "shell/dialogs/parameterdialog.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/treecommands.h"
#include "shell/receivemonitor.h"
#include "shell/records/panelrecording.h"
#include "shell/trialrun.h"
#include "skin/artwork.h"
#include "skin/bitmapbutton.h"
#include "skin/framepaint.h"
#include "skin/palette.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace pj::shell {

namespace {

// Height of a one-line field or drop-down (its closed part) in dialog units.
constexpr int kFieldHeightDlu = 13;

QString fromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

// The index of the item whose text the drop-down shows, -1 when the text was
// typed and matches no item.
int chosenIndex(const QComboBox* combo) {
    return combo->findText(combo->currentText(), Qt::MatchExactly);
}

QComboBox* makeCombo(QWidget* parent, int id, const QStringList& items, int selected) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("combo%1").arg(id));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setMaxVisibleItems(static_cast<int>(items.size()));
    combo->setCurrentIndex(selected);
    return combo;
}

void place(QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(skin::dlu(x, y, width, height));
}

// A question with "继续" and "取消"; true for continue.
bool askContinue(QWidget* parent, const QString& question) {
    return askQuestion(parent, question, QStringLiteral("继续"), QStringLiteral("取消"));
}

} // namespace

MainPanel::MainPanel(PanelContext context, QWidget* parent)
    : QWidget(parent)
    , shell_(context.shell)
    , browser_(context.browser)
    , channel_(context.channel)
    , listPorts_(std::move(context.listPorts))
    , editing_(context.editing)
    , checker_(std::move(context.checker)) {
    setObjectName(QStringLiteral("panel120"));
    skin::PanelPalette::apply(this);
    setFixedSize(panelSize());
    buildControls();
    recording_ = new PanelRecording(
        context.recorder, list_,
        [this]() -> std::optional<PanelRecording::ShownModel> {
            const int id = browser_.selectedModel().selectedModelId;
            const auto names = browser_.modelShown() ? browser_.modelNames(id) : std::nullopt;
            if (!names)
                return std::nullopt;
            return PanelRecording::ShownModel{id, names->first, names->second};
        },
        this);
    connect(recording_, &PanelRecording::failed, this, &MainPanel::report);

    connect(&browser_, &CatalogueBrowser::modelShownChanged, this,
            [this](bool) { updateWriteButton(); });
    connect(&browser_, &CatalogueBrowser::descriptionChanged, list_, &CodeListView::setDescription);
    connect(tree_, &CatalogueTree::commandChosen, this, &MainPanel::onTreeCommand);
    connect(list_, &CodeListView::testSendRequested, this, &MainPanel::testSendRow);

    connect(&task_, &ControllerTask::progress, progress_, &QProgressBar::setValue);
    connect(&task_, &ControllerTask::rowStatus, this, [this](int row, int status) {
        browser_.codeList().setStatus(row, static_cast<link::RowStatus>(status));
    });
    connect(&task_, &ControllerTask::rowRefused, this, [this](int row, const QString& reason) {
        const QModelIndex name = browser_.codeList().index(row, CodeListModel::NameColumn);
        refusedRows_.emplace_back(browser_.codeList().data(name, Qt::DisplayRole).toString(),
                                  reason);
    });
    connect(&task_, &ControllerTask::message, this, &MainPanel::report);
    connect(&task_, &ControllerTask::finished, this, &MainPanel::onTaskFinished);
}

MainPanel::~MainPanel() {
    if (editing_)
        editing_->setRefresh({});
    task_.requestStop();
    task_.wait();
}

QSize MainPanel::panelSize() {
    return skin::dluSize(kWidthDlu, kHeightDlu);
}

void MainPanel::buildControls() {
    tree_ = new CatalogueTree(browser_, this);
    place(tree_, 8, 8, 177, 311);
    tree_->fill();
    if (editing_)
        editing_->setRefresh([this] { tree_->reload(); });

    list_ = new CodeListView(browser_.codeList(), this);
    place(list_, 193, 9, 301, 140);

    setPort_ = new QPushButton(QStringLiteral("设置串口"), this);
    setPort_->setObjectName(QStringLiteral("button1016"));
    place(setPort_, 193, 155, 55, 16);

    writeCodes_ = new QPushButton(QStringLiteral("写码"), this);
    writeCodes_->setObjectName(QStringLiteral("button1013"));
    place(writeCodes_, 259, 155, 53, 16);
    writeCodes_->setEnabled(false);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress1052"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    place(progress_, 328, 158, 164, 12);

    auto label = [this](const QString& name, const QString& text, int x, int y, int w,
                        Qt::Alignment align = Qt::AlignLeft) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setAlignment(align | Qt::AlignVCenter);
        place(l, x, y, w, kFieldHeightDlu);
        return l;
    };

    fillRoomControls();
    label(QStringLiteral("label1043"), QStringLiteral("信号源"), 200, 186, 49);
    label(QStringLiteral("label1044"), QStringLiteral("关投影机延时"), 200, 208, 50);
    label(QStringLiteral("unit1044"), QStringLiteral("分钟"), 295, 208, 20);
    label(QStringLiteral("label1045"), QStringLiteral("展台类型"), 200, 229, 49);
    label(QStringLiteral("label1046"), QStringLiteral("幕布升降时间"), 318, 186, 56,
          Qt::AlignRight);
    label(QStringLiteral("unit1046"), QStringLiteral("秒"), 414, 186, 12);
    label(QStringLiteral("label1085"), QStringLiteral("门探开关"), 318, 208, 41, Qt::AlignRight);
    label(QStringLiteral("label1088"), QStringLiteral("机器类型"), 318, 229, 41, Qt::AlignRight);
    label(QStringLiteral("label1086"), QStringLiteral("ID卡号"), 200, 263, 30);

    setRoom_ = new QPushButton(QStringLiteral("设置"), this);
    setRoom_->setObjectName(QStringLiteral("button1049"));
    place(setRoom_, 431, 229, 62, 16);

    card_ = new QLineEdit(this);
    card_->setObjectName(QStringLiteral("edit1086"));
    place(card_, 232, 262, 192, 16);

    writeCard_ = new QPushButton(QStringLiteral("写码"), this);
    writeCard_->setObjectName(QStringLiteral("button1087"));
    place(writeCard_, 431, 262, 62, 16);

    // Picture buttons: one picture, hover and press shown as a drawn edge.
    auto picture = [this](int id, skin::Art art, int x) {
        auto* b = new skin::BitmapButton(skin::BitmapButton::Variant::Edge, this);
        b->setObjectName(QStringLiteral("button%1").arg(id));
        b->setImage(skin::artPixmap(art));
        place(b, x, 295, 53, 25);
        return b;
    };
    monitor_ = picture(1061, skin::Art::MonitorButton, 219);
    about_ = picture(1021, skin::Art::AboutButton, 381);
    help_ = picture(1050, skin::Art::HelpButton, 439);

    // Sunken separator lines.
    auto line = [this](int n, QFrame::Shape shape, const QRect& r) {
        auto* f = new QFrame(this);
        f->setObjectName(QStringLiteral("line%1").arg(n));
        f->setFrameShape(shape);
        f->setFrameShadow(QFrame::Sunken);
        f->setGeometry(r);
    };
    const auto hline = [](int x, int y, int w) {
        const QRect r = skin::dlu(x, y, w, 1);
        return QRect(r.left(), r.top(), r.width(), 2);
    };
    line(1, QFrame::HLine, hline(191, 178, 268));
    line(2, QFrame::HLine, hline(196, 252, 299));
    line(3, QFrame::HLine, hline(196, 288, 299));
    const QRect v = skin::dlu(187, 6, 1, 318);
    line(4, QFrame::VLine, QRect(v.left(), v.top(), 2, v.height()));

    connect(writeCodes_, &QPushButton::clicked, this, &MainPanel::writeCodes);
    connect(setPort_, &QPushButton::clicked, this, &MainPanel::openSettings);
    connect(setRoom_, &QPushButton::clicked, this, &MainPanel::writeRoomParameters);
    connect(writeCard_, &QPushButton::clicked, this, &MainPanel::writeIdCard);
    connect(monitor_, &skin::BitmapButton::clicked, this, &MainPanel::openMonitor);
    connect(about_, &skin::BitmapButton::clicked, this, &MainPanel::openAbout);
    connect(help_, &skin::BitmapButton::clicked, this, &MainPanel::openHelp);
}

void MainPanel::fillRoomControls() {
    source_ = makeCombo(this, 1043,
                        {QStringLiteral("台式电脑"), QStringLiteral("手提电脑"),
                         QStringLiteral("展台"), QStringLiteral("视频"), QStringLiteral("备用")},
                        0);
    place(source_, 251, 186, 59, kFieldHeightDlu);

    QStringList minutes;
    for (int i = 1; i <= 10; ++i)
        minutes << QString::number(i);
    offDelay_ = makeCombo(this, 1044, minutes, 0);
    place(offDelay_, 251, 208, 41, kFieldHeightDlu);

    visualizer_ =
        makeCombo(this, 1045, {QStringLiteral("模拟展台"), QStringLiteral("数字展台")}, 1);
    place(visualizer_, 251, 229, 60, kFieldHeightDlu);

    curtain_ = new QLineEdit(QStringLiteral("5"), this);
    curtain_->setObjectName(QStringLiteral("edit1046"));
    place(curtain_, 377, 186, 34, kFieldHeightDlu);

    alarm_ = new QCheckBox(QStringLiteral("关机报警"), this);
    alarm_->setObjectName(QStringLiteral("check1047"));
    alarm_->setChecked(true);
    place(alarm_, 438, 186, 49, 14);

    oneKey_ = new QCheckBox(QStringLiteral("一键通"), this);
    oneKey_->setObjectName(QStringLiteral("check1048"));
    place(oneKey_, 438, 208, 38, 11);

    door_ = makeCombo(this, 1085, {QStringLiteral("常闭"), QStringLiteral("常开")}, 0);
    place(door_, 362, 208, 61, kFieldHeightDlu);

    machine_ = makeCombo(this, 1088, {QStringLiteral("单机"), QStringLiteral("网络")}, 0);
    place(machine_, 362, 229, 61, kFieldHeightDlu);
}

std::optional<link::RoomParameters> MainPanel::roomParameters(QString* refusal,
                                                              QWidget** field) const {
    // The controller takes one byte for each: a larger value is refused, never
    // cut to its low 8 bits.
    const auto number = [&](const QString& text, const QString& label,
                            QWidget* control) -> std::optional<std::uint8_t> {
        const auto n = link::parseRoomNumber(text.toStdString());
        if (!n) {
            if (refusal)
                *refusal = label + QStringLiteral("必须是 0 到 255 的整数");
            if (field)
                *field = control;
        }
        return n;
    };
    link::RoomParameters p;
    const auto delay = number(offDelay_->currentText(), QStringLiteral("关投影机延时"), offDelay_);
    if (!delay)
        return std::nullopt;
    const auto curtain = number(curtain_->text(), QStringLiteral("幕布升降时间"), curtain_);
    if (!curtain)
        return std::nullopt;
    p.offDelayMinutes = *delay;
    p.signalSource = chosenIndex(source_);
    p.visualizerType = chosenIndex(visualizer_);
    p.shutdownAlarm = alarm_->isChecked();
    p.curtainSeconds = *curtain;
    p.oneKey = oneKey_->isChecked();
    p.doorNormallyOpen = chosenIndex(door_) == 1;
    p.networkMachine = chosenIndex(machine_) == 1;
    return p;
}

void MainPanel::writeCodes() {
    if (busy() || !browser_.modelShown())
        return;
    const link::SelectedModel& model = browser_.selectedModel();
    if (const auto refusal = link::checkCodeWriteSettings(shell_, model.selectedBaud)) {
        report(fromUtf8(*refusal));
        return;
    }
    bool confirmed = false;
    if (link::reloadIsApproximate(shell_.editionCode, model.selectedBaud)) {
        const QString question =
            fromUtf8(link::msg::formatMessage(link::msg::kBaudApproximate, model.selectedBaudText));
        if (!askContinue(window(), question))
            return;
        confirmed = true;
    }
    if (!recording_->askRoom(window()))
        return;
    // The worker writes from copies; the rows' icons follow its reports.
    codeSnapshot_ = std::make_shared<link::SelectedModel>(model);
    startOperation(Operation::Codes,
                   recording_->codes(shell_, model,
                                     [&channel = channel_, shell = shell_, model = codeSnapshot_](
                                         link::SequenceObserver& o, std::stop_token stop) {
                                         return link::writeSelectedCodes(channel, shell, *model, o,
                                                                         stop);
                                     }),
                   confirmed);
}

void MainPanel::writeRoomParameters() {
    if (busy())
        return;
    QString refusal;
    QWidget* field = nullptr;
    const auto params = roomParameters(&refusal, &field);
    if (!params) {
        report(refusal);
        if (field) {
            field->setFocus(Qt::OtherFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(field))
                edit->selectAll();
            else if (auto* combo = qobject_cast<QComboBox*>(field); combo && combo->lineEdit())
                combo->lineEdit()->selectAll();
        }
        return;
    }
    if (!recording_->askRoom(window()))
        return;
    shellSnapshot_ = std::make_shared<link::ShellState>(shell_);
    startOperation(Operation::Room,
                   recording_->room(shell_, *params,
                                    [&channel = channel_, shell = shellSnapshot_, params = *params,
                                     baud = browser_.selectedModel().selectedBaud](
                                        link::SequenceObserver& o, std::stop_token stop) {
                                        return link::writeRoomParameters(channel, *shell, params,
                                                                         baud, o, stop);
                                    }));
}

void MainPanel::writeIdCard() {
    if (busy() || !recording_->askRoom(window()))
        return;
    startOperation(Operation::Card,
                   recording_->card(
                       shell_, card_->text(),
                       [&channel = channel_, shell = shell_, number = card_->text().toStdString()](
                           link::SequenceObserver& o, std::stop_token stop) {
                           return link::writeIdCard(channel, shell, number, o, stop);
                       }));
}

QString MainPanel::stopOperation() {
    if (!busy())
        return {};
    task_.requestStop();
    return running_ == Operation::Codes ? QStringLiteral("正在停止写码，停止后关闭窗口…")
                                        : QStringLiteral("正在写入，写完后关闭窗口…");
}

bool MainPanel::startOperation(Operation op, ControllerTask::StoppableJob job,
                               bool confirmApproximate) {
    shownThisRun_.clear();
    refusedRows_.clear();
    if (!task_.start(std::move(job), confirmApproximate))
        return false;
    setBusy(op);
    return true;
}

void MainPanel::setBusy(Operation op) {
    running_ = op;
    const bool idle = op == Operation::None;
    const QList<QWidget*> greyed{writeCodes_, setPort_, setRoom_, writeCard_, tree_};
    if (!idle) {
        // A focused control that greys out would hand the focus to the next
        // field in the tab order ("信号源", the ID card) with its text
        // selected: the panel holds the focus meanwhile, and gives it back.
        QWidget* focused = window()->focusWidget();
        for (QWidget* w : greyed) {
            if (focused && (focused == w || w->isAncestorOf(focused))) {
                focusBeforeBusy_ = focused;
                setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    writeCodes_->setText(op == Operation::Codes ? QStringLiteral("...") : QStringLiteral("写码"));
    updateWriteButton();
    setPort_->setEnabled(idle);
    setRoom_->setEnabled(idle);
    writeCard_->setEnabled(idle);
    tree_->setEnabled(idle);
    list_->setTogglingEnabled(idle);
    if (idle && focusBeforeBusy_) {
        if (focusBeforeBusy_->isEnabled() && hasFocus())
            focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
        focusBeforeBusy_ = nullptr;
    }
    Q_EMIT busyChanged(!idle);
}

void MainPanel::updateWriteButton() {
    writeCodes_->setEnabled(running_ == Operation::None && browser_.modelShown());
}

void MainPanel::onTaskFinished(int outcome, const QString& message, int, int rowsRefused) {
    recording_->finished(outcome, message);
    const Operation op = running_;
    if (op == Operation::Trial) {
        // The test-send window says how it went; nothing else is shown.
        const std::shared_ptr<TrialRun> run = std::move(trialRun_);
        if (trialDialog_ && run) {
            const QString note = run->listeningLost()
                                     ? QStringLiteral("未能重新打开串口 %1 接收回码")
                                           .arg(QString::fromStdString(run->listenPort))
                                     : QString();
            trialDialog_->showResult(run->result, note);
        }
        setBusy(Operation::None);
        return;
    }
    const auto how = static_cast<link::SequenceOutcome>(outcome);
    if (op == Operation::Codes && codeSnapshot_)
        browser_.setLastParity(codeSnapshot_->lastParity);
    if (op == Operation::Room && shellSnapshot_)
        shell_.visualizerNumber = shellSnapshot_->visualizerNumber;
    codeSnapshot_.reset();
    shellSnapshot_.reset();
    if (how != link::SequenceOutcome::Completed)
        progress_->setValue(0);

    // A stopped write tells how far it got before the window may close.
    if (how == link::SequenceOutcome::Stopped) {
        report(message);
        setBusy(Operation::None);
        return;
    }
    setBusy(Operation::None);

    if (rowsRefused > 0) {
        // Each reason once, with the rows it holds back.
        QStringList reasons;
        QList<QStringList> names;
        for (const auto& [name, reason] : refusedRows_) {
            qsizetype at = reasons.indexOf(reason);
            if (at < 0) {
                reasons << reason;
                names << QStringList();
                at = reasons.size() - 1;
            }
            if (!name.isEmpty())
                names[at] << name;
        }
        QStringList blocks;
        for (qsizetype i = 0; i < reasons.size(); ++i) {
            shownThisRun_ << reasons[i];
            blocks << (names[i].isEmpty()
                           ? reasons[i]
                           : reasons[i] + QLatin1Char('\n') + names[i].join(QStringLiteral("、")));
        }
        report(blocks.join(QLatin1Char('\n')));
    }
    if (!message.isEmpty() && !shownThisRun_.contains(message))
        report(message);
}

void MainPanel::report(const QString& text) {
    if (text.isEmpty())
        return;
    if (!shownThisRun_.contains(text))
        shownThisRun_ << text;
    else if (running_ != Operation::None)
        return; // already shown for this operation
    showMessage(window(), text);
}

void MainPanel::showChannelMessage(const QString& text) {
    // During a test send the channel's own notes repeat what its window says.
    if (running_ == Operation::Trial)
        return;
    if (monitorWindow_ && !busy() && channel_.deviceLost()) {
        monitorWindow_->portLost();
        return;
    }
    report(text);
}

void MainPanel::testSend(const CodeTrial& trial, QWidget* parent) {
    QWidget* over = parent ? parent : window();
    if (busy()) {
        showMessage(over, QStringLiteral("正在与中控通信，请等它结束后再试发"));
        return;
    }
    if (shell_.portName.empty()) {
        showMessage(over, fromUtf8(link::msg::kNoPortSet));
        return;
    }
    const link::TestSendRequest request{
        shell_.portName, {trial.baud, 8, trial.parity, 1}, trial.code, link::kDefaultTestSendWait};
    TestSendDialog dialog(QString::fromStdString(shell_.portName), trial, over);
    auto run = std::make_shared<TrialRun>();
    connect(&dialog, &TestSendDialog::stopRequested, this, [this] { task_.requestStop(); });
    const bool started =
        startOperation(Operation::Trial, [&channel = channel_, request,
                                          run](link::SequenceObserver& o, std::stop_token stop) {
            *run = runTrial(channel, request, std::move(stop), o);
            return link::SequenceResult{};
        });
    if (!started)
        return;
    trialRun_ = run;
    trialDialog_ = &dialog;
    runModal(dialog);
    // Closed before the answer was in (the window waits for it; a test's
    // modal seam may not): the send ends at its next look at the port.
    if (running_ == Operation::Trial)
        task_.requestStop();
    trialDialog_ = nullptr;
}

void MainPanel::testSendRow(int row) {
    const link::SelectedModel& model = browser_.selectedModel();
    if (row < 0 || static_cast<std::size_t>(row) >= model.rows.size())
        return;
    const link::CodeListEntry& entry = model.rows[static_cast<std::size_t>(row)];
    // The bytes the write would put into the controller for this row.
    link::Bytes code = link::codeTextToBytes(entry.codeText);
    if (code.empty()) {
        showMessage(window(), fromUtf8(link::msg::kEmptyCode));
        return;
    }
    testSend(CodeTrial{fromUtf8(entry.name), std::move(code), model.selectedBaud,
                       static_cast<int>(entry.parity)});
}

void MainPanel::onReceived(const link::Bytes& block) {
    if (const auto row = browser_.codeList().matchEcho(block))
        recording_->echo(*row, block);
    if (shell_.monitorOpen)
        Q_EMIT receivedForMonitor(QByteArray(reinterpret_cast<const char*>(block.data()),
                                             static_cast<qsizetype>(block.size())));
}

void MainPanel::openSettings() {
    if (busy())
        return;
    ParameterDialog::Hooks hooks;
    hooks.closeChannel = [this] { channel_.close(); };
    hooks.listPorts = listPorts_;
    ParameterDialog::run(shell_, std::move(hooks), window());
}

void MainPanel::openAbout() {
    AboutDialog::run(window());
}

void MainPanel::openHelp() {
    HelpOpener(window()).open();
}

ReceiveMonitor* MainPanel::monitor() const {
    return monitorWindow_.data();
}

void MainPanel::openMonitor() {
    if (shell_.monitorOpen || busy())
        return;
    Q_EMIT monitorRequested();
    auto* monitor = new ReceiveMonitor({shell_, channel_, browser_.selectedModel()}, window());
    monitorWindow_ = monitor;
    connect(this, &MainPanel::receivedForMonitor, monitor, &ReceiveMonitor::appendReceived);
    connect(monitor, &QDialog::finished, monitor, &QObject::deleteLater);
    monitor->start();
    monitor->open();
}

void MainPanel::refreshTree() {
    // While an operation runs the tree is greyed and the model being written
    // stays as it was read; the next activation or "刷新" catches up.
    if (busy())
        return;
    if (editing_)
        editing_->refreshTree();
    else
        tree_->reload();
}

void MainPanel::refreshIfChanged() {
    if (!busy() && editing_ && editing_->changedSinceInStep())
        editing_->refreshTree();
}

void MainPanel::onTreeCommand(TreeCommand command) {
    // The node the right click selected: the dialogs and deletes act on it.
    if (command == TreeCommand::Refresh) {
        refreshTree();
    } else if (editing_ && !busy()) {
        EditorServices services;
        services.checker = checker_;
        services.testSend = [this](const CodeTrial& trial, QWidget* parent) {
            testSend(trial, parent);
        };
        runTreeCommand(*editing_, command, CatalogueTree::nodeOf(tree_->currentItem()), window(),
                       services);
    }
    Q_EMIT treeCommandRequested(command);
}

void MainPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    skin::FramePaint::paint(p, rect());
}

} // namespace pj::shell
