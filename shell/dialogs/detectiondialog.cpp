#include "shell/dialogs/detectiondialog.h"

#include "link/detection.h"
#include "shell/dialogs/modal.h"
#include "skin/units.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace pj::shell {

namespace {
class ProgressForwarder final : public pj::link::SequenceObserver {
public:
    explicit ProgressForwarder(const std::function<void(int)>& f)
        : f_(f) {}
    void progress(int percent) override {
        if (f_)
            f_(percent);
    }

private:
    const std::function<void(int)>& f_;
};
} // namespace

DetectionScan linkDetectionScan(pj::link::SerialChannel& channel, std::vector<std::string> ports) {
    return [&channel, ports = std::move(ports)](const std::function<void(int)>& progress,
                                                std::stop_token stop) {
        ProgressForwarder observer(progress);
        const auto r = pj::link::detectionScan(channel, ports, observer, stop);
        ScanOutcome out;
        out.found = r.found;
        out.portName = r.portName;
        out.editionCode = r.edition.editionCode;
        out.controllerBaud = r.edition.controllerBaud;
        for (const auto& problem : r.unusable)
            out.unusable.push_back(problem.message);
        return out;
    };
}

QString DetectionLogic::searchingText() {
    return QStringLiteral("正在查找中控 . . .");
}

QString DetectionLogic::notFoundText() {
    return QStringLiteral("没有找到合适的中控，请使用 “手工设置” 。");
}

void DetectionLogic::startScan() {
    phase_ = Phase::Scanning;
    progress_ = 0;
    unusable_.clear();
}

void DetectionLogic::progress(int value) {
    if (phase_ == Phase::Scanning)
        progress_ = std::clamp(value, 0, 100);
}

void DetectionLogic::finished(const ScanOutcome& outcome) {
    if (phase_ != Phase::Scanning)
        return;
    if (outcome.found) {
        state_.editionCode = outcome.editionCode;
        state_.controllerBaud = outcome.controllerBaud;
        state_.portName = outcome.portName;
        result_ = Found;
        phase_ = Phase::Ended;
        return;
    }
    progress_ = 100;
    phase_ = Phase::NotFound;
    for (const auto& text : outcome.unusable)
        unusable_ << QString::fromStdString(text);
}

void DetectionLogic::manual() {
    if (phase_ == Phase::Ended)
        return;
    state_.portName.clear(); // the settings dialog then preselects the first port
    result_ = Manual;
    phase_ = Phase::Ended;
}

void DetectionLogic::exit() {
    if (phase_ == Phase::Ended)
        return;
    result_ = Exit;
    phase_ = Phase::Ended;
}

QString DetectionLogic::statusText() const {
    return phase_ == Phase::NotFound ? notFoundText() : searchingText();
}

QString DetectionLogic::unusableText() const {
    return phase_ == Phase::NotFound ? unusable_.join(QLatin1Char('\n')) : QString();
}

DetectionDialog::DetectionDialog(pj::link::ShellState& state, DetectionScan scan, QWidget* parent)
    : SkinnedDialog(QStringLiteral("检测中控"), QSize(282, 143), parent)
    , logic_(state)
    , scan_(std::move(scan)) {
    using pj::skin::dlu;
    setObjectName(QStringLiteral("detection145"));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("label1078"));
    status_->setGeometry(dlu(9, 34, 260, 13));
    status_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress1075"));
    progress_->setGeometry(dlu(13, 65, 256, 14));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);

    const auto button = [this](const char16_t* text, int id, QRect r) {
        auto* b = new QPushButton(QString::fromUtf16(text), this);
        b->setObjectName(QStringLiteral("button%1").arg(id));
        b->setGeometry(r);
        b->setAutoDefault(false);
        return b;
    };
    // The ports a fruitless scan could not use, and why (selectable, so that a
    // command in the advice can be copied). The dialog grows to show them.
    unusable_ = new QLabel(this);
    unusable_->setObjectName(QStringLiteral("labelUnusable"));
    unusable_->setWordWrap(true);
    unusable_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    unusable_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    unusable_->hide();

    again_ = button(u"重新查找", 1080, dlu(39, 105, 55, 16));
    manual_ = button(u"手动设置", 1076, dlu(107, 105, 56, 16));
    exit_ = button(u"退出", 1077, dlu(179, 105, 53, 16));
    baseSize_ = size();
    connect(again_, &QPushButton::clicked, this, [this] {
        if (logic_.phase() == DetectionLogic::Phase::NotFound)
            startScan();
    });
    connect(manual_, &QPushButton::clicked, this, [this] {
        stopScan();
        logic_.manual();
        done(logic_.result());
    });
    connect(exit_, &QPushButton::clicked, this, [this] { done(DetectionLogic::Exit); });

    startScan();
}

DetectionDialog::~DetectionDialog() {
    stopScan();
}

int DetectionDialog::run(pj::link::ShellState& state, DetectionScan scan, QWidget* parent) {
    DetectionDialog d(state, std::move(scan), parent);
    return runModal(d);
}

void DetectionDialog::done(int r) {
    stopScan();
    if (logic_.phase() != DetectionLogic::Phase::Ended)
        logic_.exit(); // closed or "退出"
    QDialog::done(logic_.phase() == DetectionLogic::Phase::Ended ? logic_.result() : r);
}

void DetectionDialog::startScan() {
    stopScan();
    logic_.startScan();
    refresh();
    const unsigned generation = ++generation_;
    if (!scan_) {
        onFinished(generation, {});
        return;
    }
    worker_ = std::jthread([this, generation, scan = scan_](std::stop_token stop) {
        // Progress and the result are posted to the dialog's own thread; a post
        // that arrives after the dialog stopped this scan is dropped there.
        const std::function<void(int)> progress = [this, generation](int value) {
            QMetaObject::invokeMethod(
                this, [this, generation, value] { onProgress(generation, value); },
                Qt::QueuedConnection);
        };
        ScanOutcome outcome;
        try {
            outcome = scan(progress, stop);
        } catch (...) {
            outcome = {}; // a failed scan is a scan that found nothing
        }
        QMetaObject::invokeMethod(
            this, [this, generation, outcome] { onFinished(generation, outcome); },
            Qt::QueuedConnection);
    });
}

void DetectionDialog::stopScan() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    ++generation_;
}

void DetectionDialog::onProgress(unsigned generation, int value) {
    if (generation != generation_)
        return;
    logic_.progress(value);
    progress_->setValue(logic_.progressValue());
}

void DetectionDialog::onFinished(unsigned generation, const ScanOutcome& outcome) {
    if (generation != generation_)
        return;
    if (worker_.joinable())
        worker_.join(); // it has posted its last word and is ending
    logic_.finished(outcome);
    refresh();
    Q_EMIT scanEnded();
    if (logic_.phase() == DetectionLogic::Phase::Ended)
        done(logic_.result());
}

void DetectionDialog::refresh() {
    status_->setText(logic_.statusText());
    progress_->setValue(logic_.progressValue());
    again_->setEnabled(logic_.searchAgainEnabled());
    showUnusable(logic_.unusableText());
}

void DetectionDialog::showUnusable(const QString& text) {
    using pj::skin::dlu;
    // Between the progress bar and the buttons; what does not fit there moves
    // the buttons down and makes the dialog taller.
    const QRect room = dlu(13, 83, 256, 18);
    unusable_->setText(text);
    unusable_->setVisible(!text.isEmpty());
    const int needed = text.isEmpty() ? 0 : unusable_->heightForWidth(room.width());
    const int extra = std::max(0, needed - room.height());
    unusable_->setGeometry(room.x(), room.y(), room.width(), room.height() + extra);
    const int buttonsY = dlu(0, 105, 1, 1).y() + extra;
    for (QPushButton* b : {again_, manual_, exit_})
        b->move(b->x(), buttonsY);
    const QSize wanted(baseSize_.width(), baseSize_.height() + extra);
    if (size() != wanted)
        resizeAndCentre(wanted);
}

} // namespace pj::shell
