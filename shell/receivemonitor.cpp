#include "shell/receivemonitor.h"

#include "link/messages.h"
#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTime>
#include <QTimer>

namespace pj::shell {

namespace {

constexpr const char* kPortBack = "串口 %1 已重新连接";

// Height of the closed part of a drop-down, in dialog units.
constexpr int kComboHeightDlu = 13;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QComboBox* makeCombo(QWidget* parent, int id, const QStringList& items, int dropHeightDlu) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QStringLiteral("combo%1").arg(id));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(items);
    // As many rows as the drop-down's height in the template holds.
    c->setMaxVisibleItems(std::max(3, (dropHeightDlu - kComboHeightDlu) / 8));
    return c;
}

} // namespace

ReceiveMonitor::ReceiveMonitor(Context context, QWidget* parent)
    : SkinnedDialog(QStringLiteral("接收"), QSize(364, 224), parent)
    , shell_(context.shell)
    , channel_(context.channel)
    , model_(context.model) {
    setObjectName(QStringLiteral("monitor144"));
    // Modal to the main window only (it stays above it); the virtual
    // controller panel, a window of its own, can still be pressed.
    setModal(false);
    setWindowModality(Qt::WindowModal);
    buildControls();

    refresh_ = new QTimer(this);
    refresh_->setSingleShot(true);
    connect(refresh_, &QTimer::timeout, this, &ReceiveMonitor::flush);

    reconnect_ = new QTimer(this);
    reconnect_->setInterval(kReconnectMs);
    connect(reconnect_, &QTimer::timeout, this, &ReceiveMonitor::tryReconnect);
    chooseFile_ = [this] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("保存接收数据"),
            QDir(dir.isEmpty() ? QDir::homePath() : dir).filePath(QStringLiteral("接收数据.txt")),
            QStringLiteral("文本文件 (*.txt);;所有文件 (*)"));
    };
}

ReceiveMonitor::~ReceiveMonitor() = default;

void ReceiveMonitor::buildControls() {
    using pj::skin::dlu;

    ascii_ = new QCheckBox(QStringLiteral("ASCII接收"), this);
    ascii_->setObjectName(QStringLiteral("check1063"));
    ascii_->setGeometry(dlu(9, 22, 51, 10));

    parity_ = makeCombo(this, 1091, MonitorSettings::parityItems(), 63);
    parity_->setGeometry(dlu(77, 22, 56, kComboHeightDlu));

    auto* label = new QLabel(QStringLiteral("当前接收波特率为:"), this);
    label->setObjectName(QStringLiteral("label1073"));
    const QRect l = dlu(159, 23, 67, 10);
    // The text needs its whole width in the face standing in for the dialog font.
    label->setGeometry(l.x(), l.y(), std::max(l.width(), label->sizeHint().width()), l.height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    speed_ = makeCombo(this, 1073, MonitorSettings::speedItems(), 79);
    speed_->setGeometry(dlu(230, 21, 56, kComboHeightDlu));

    box_ = new QPlainTextEdit(this);
    box_->setObjectName(QStringLiteral("edit1064"));
    box_->setGeometry(dlu(9, 41, 347, 126));
    box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box_->setFrameShape(QFrame::StyledPanel);
    // Text arrives without end: nothing of it goes into an undo history.
    box_->setUndoRedoEnabled(false);
    box_->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("lineSeparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    const QRect r = dlu(4, 180, 351, 1);
    line->setGeometry(r.x(), r.y(), r.width(), 2);

    auto* clear = new QPushButton(QStringLiteral("清空"), this);
    clear->setObjectName(QStringLiteral("button1069"));
    clear->setGeometry(dlu(109, 191, 56, 17));
    clear->setAutoDefault(false);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("button1065"));
    close->setGeometry(dlu(186, 191, 56, 17));
    close->setAutoDefault(false);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("menuMonitor"));
    copy_ = menu_->addAction(QStringLiteral("复制"), box_, &QPlainTextEdit::copy);
    copy_->setObjectName(QStringLiteral("actionCopy"));
    QAction* all = menu_->addAction(QStringLiteral("全选"), box_, &QPlainTextEdit::selectAll);
    all->setObjectName(QStringLiteral("actionSelectAll"));
    menu_->addSeparator();
    showTime_ = menu_->addAction(QStringLiteral("显示时间"));
    showTime_->setObjectName(QStringLiteral("actionShowTime"));
    showTime_->setCheckable(true);
    QAction* save = menu_->addAction(QStringLiteral("保存…"));
    save->setObjectName(QStringLiteral("actionSave"));

    connect(speed_, &QComboBox::activated, this, &ReceiveMonitor::onSpeedPicked);
    connect(parity_, &QComboBox::activated, this, &ReceiveMonitor::onParityPicked);
    connect(clear, &QPushButton::clicked, this, &ReceiveMonitor::clearText);
    connect(close, &QPushButton::clicked, this, [this] { finish(1, false); });
    connect(showTime_, &QAction::toggled, this, &ReceiveMonitor::showTime);
    connect(save, &QAction::triggered, this, &ReceiveMonitor::save);
    connect(box_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        copy_->setEnabled(box_->textCursor().hasSelection());
        menu_->popup(box_->viewport()->mapToGlobal(at));
    });
}

void ReceiveMonitor::start() {
    shell_.monitorOpen = true;
    if (channel_.isOpen()) {
        listening_ = channel_.settings();
    } else {
        listening_.baud = model_.selectedBaud;
        listening_.dataBits = 8;
        listening_.parityCode = static_cast<int>(model_.lastParity);
        listening_.stopCode = 1;
        openChannel();
    }
    showListening();
}

void ReceiveMonitor::showListening() {
    const int parity = listening_.parityCode;
    parity_->setCurrentIndex(parity == 1 || parity == 2 ? parity : 0);
    const int row = speed_->findText(QString::number(listening_.baud), Qt::MatchExactly);
    if (row >= 0)
        speed_->setCurrentIndex(row);
    speed_->setEditText(QString::number(listening_.baud));
}

void ReceiveMonitor::onSpeedPicked(int row) {
    // The picked item's number, with the parity the other list shows.
    reopen(speed_->itemText(row),
           parity_->findText(parity_->currentText().trimmed(), Qt::MatchExactly));
}

void ReceiveMonitor::onParityPicked(int row) {
    // The speed is whatever the speed field holds, typed text included.
    reopen(speed_->currentText(), row);
}

void ReceiveMonitor::reopen(const QString& speedText, int parityRow) {
    const auto settings = MonitorSettings::choose(speedText, parityRow);
    if (!settings) {
        // The line cannot be set to that: keep listening as before.
        showListening();
        showMessage(this, q(pj::link::msg::kInvalidBaud));
        return;
    }
    reconnect_->stop();
    lostPort_.clear();
    channel_.close();
    channel_.clock().sleep(pj::link::kCloseSettle);
    listening_ = *settings;
    showListening();
    openChannel();
}

void ReceiveMonitor::openChannel() {
    const std::string& port = shell_.portName;
    if (port.empty()) {
        note(q(pj::link::openFailureText(port, pj::link::PortOpenStatus::Unavailable)));
        return;
    }
    const auto result = channel_.open(port, listening_);
    // A port that refuses its settings has been reported by the channel; one
    // that is absent, busy or not permitted is said which.
    if (result == pj::link::OpenResult::Unavailable)
        note(q(pj::link::openFailureText(port, channel_.lastOpenStatus())));
}

void ReceiveMonitor::appendReceived(const QByteArray& block) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.constData());
    apply(log_.addBlock({bytes, static_cast<std::size_t>(block.size())}, ascii_->isChecked(),
                        QTime::currentTime()));
}

void ReceiveMonitor::portLost() {
    if (finished_ || reconnecting())
        return;
    lostPort_ = channel_.portName();
    channel_.close(); // lets go of the vanished device so it can come back
    note(q(pj::link::msg::formatMessage(pj::link::msg::kPortLost, lostPort_)));
    reconnect_->start();
}

bool ReceiveMonitor::reconnecting() const {
    return reconnect_->isActive();
}

void ReceiveMonitor::tryReconnect() {
    if (lostPort_.empty()) {
        reconnect_->stop();
        return;
    }
    switch (channel_.open(lostPort_, listening_)) {
    case pj::link::OpenResult::Unavailable:
        return; // not back yet
    case pj::link::OpenResult::Opened:
        note(q(pj::link::msg::formatMessage(kPortBack, lostPort_)));
        break;
    case pj::link::OpenResult::SettingsFailed:
        break; // back, but refusing the settings: the channel said so
    }
    reconnect_->stop();
    lostPort_.clear();
}

void ReceiveMonitor::note(const QString& text) {
    apply(log_.addNote(text, QTime::currentTime()));
}

void ReceiveMonitor::apply(const MonitorLog::Change& change) {
    // Merged with what is waiting: a cut reaches into the waiting text only
    // once the box's own text is used up.
    const qsizetype inBox = box_->document()->characterCount() - 1;
    const qsizetype cutOfBox = std::min(change.removeFront, inBox - pendingCut_);
    pendingCut_ += cutOfBox;
    pendingText_.remove(0, change.removeFront - cutOfBox);
    pendingText_ += change.append;
    if (refresh_->isActive())
        return;
    // The first block after a quiet spell goes in at once; a stream is put
    // in every kRefreshMs, so the box is laid out a few times a second
    // rather than at every block.
    if (!sinceFlush_.isValid() || sinceFlush_.elapsed() >= kRefreshMs)
        flush();
    else
        refresh_->start(static_cast<int>(kRefreshMs - sinceFlush_.elapsed()));
}

void ReceiveMonitor::flush() {
    refresh_->stop();
    sinceFlush_.start();
    if (pendingCut_ == 0 && pendingText_.isEmpty())
        return;
    QScrollBar* bar = box_->verticalScrollBar();
    // Follow the new text unless the user has scrolled up to read.
    const bool following = bar->value() >= bar->maximum();
    QTextDocument* doc = box_->document();
    QTextCursor cursor(doc);
    if (pendingCut_ > 0) {
        cursor.setPosition(0);
        cursor.setPosition(
            static_cast<int>(std::min<qsizetype>(pendingCut_, doc->characterCount() - 1)),
            QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (!pendingText_.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(pendingText_);
    }
    pendingCut_ = 0;
    pendingText_.clear();
    if (following)
        bar->setValue(bar->maximum());
}

void ReceiveMonitor::setWholeText() {
    refresh_->stop();
    pendingCut_ = 0;
    pendingText_.clear();
    box_->setPlainText(log_.text());
    box_->verticalScrollBar()->setValue(box_->verticalScrollBar()->maximum());
    sinceFlush_.start();
}

void ReceiveMonitor::updateWrap() {
    // Lines as long as the box shows them, so the breaks fall where the box
    // would wrap anyway: the widest hex digit and printable character count.
    const QFontMetricsF fm(box_->font());
    qreal digit = 0;
    for (const QChar c : QStringLiteral("0123456789abcdef"))
        digit = std::max(digit, fm.horizontalAdvance(c));
    qreal widest = 0;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        widest = std::max(widest, fm.horizontalAdvance(QChar(c)));
    const qreal room = box_->viewport()->width() - 2 * box_->document()->documentMargin() -
                       box_->cursorWidth() - 2;
    const int pairs = static_cast<int>(room / (2 * digit + fm.horizontalAdvance(QLatin1Char(' '))));
    const int chars = widest > 0 ? static_cast<int>(room / widest) : 0;
    const int hex = std::max(1, pairs) * 3;
    const int ascii = std::max(1, chars);
    if (hex == log_.hexWrapColumn() && ascii == log_.asciiWrapColumn())
        return;
    log_.setWrapColumns(hex, ascii);
    setWholeText();
}

void ReceiveMonitor::showEvent(QShowEvent* e) {
    SkinnedDialog::showEvent(e);
    updateWrap(); // the box's inner width is known once it is shown
}

void ReceiveMonitor::clearText() {
    log_.clear();
    setWholeText();
}

void ReceiveMonitor::showTime(bool on) {
    log_.setShowTime(on);
    setWholeText();
}

void ReceiveMonitor::setSaveFileChooser(std::function<QString()> chooser) {
    chooseFile_ = std::move(chooser);
}

void ReceiveMonitor::save() {
    const QString path = chooseFile_ ? chooseFile_() : QString();
    if (!path.isEmpty())
        saveTo(path);
}

bool ReceiveMonitor::saveTo(const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(log_.savedText().toUtf8());
        if (file.commit())
            return true;
    }
    showMessage(this, QStringLiteral("无法保存文件 %1").arg(QDir::toNativeSeparators(path)));
    return false;
}

void ReceiveMonitor::reject() {
    finish(0, true);
}

void ReceiveMonitor::finish(int result, bool closeChannel) {
    if (!finished_) {
        finished_ = true;
        reconnect_->stop();
        shell_.monitorOpen = false;
        if (closeChannel)
            channel_.close();
    }
    done(result);
}

} // namespace pj::shell
