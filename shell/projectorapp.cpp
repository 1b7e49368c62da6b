#include "shell/projectorapp.h"

#include "codecheck/load.h"
#include "link/detection.h"
#include "record/location.h"
#include "shell/cataloguebrowser.h"
#include "shell/cataloguedbreader.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/dialogs/parameterdialog.h"
#include "shell/editor/catalogueediting.h"
#include "shell/mainwindow.h"
#include "shell/virtualpanel.h"
#include "sim/simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QSqlDatabase>

#include <algorithm>
#include <iostream>

namespace pj::shell {

namespace {

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Loads the SQL driver plugins the catalogue and the record will use, before
// the program starts its first thread (the detection scan, the channel's
// reader). A driver is a library with thread-local storage; Wine's loader,
// giving such a library its storage in every thread while threads of the
// program come and go, can spin for ever, and the program then never gets
// past detection. A plugin once loaded stays loaded.
void loadSqlDrivers(const catalogue::CatalogueLocation& where) {
    QStringList types{QStringLiteral("QSQLITE")}; // the catalogue file, the record
    if (!where.odbc.isEmpty())
        types << QStringLiteral("QODBC");
    for (const QString& type : types) {
        const QString name = QStringLiteral("pj-load-driver-") + type;
        (void)QSqlDatabase::addDatabase(type, name);
        QSqlDatabase::removeDatabase(name);
    }
}

} // namespace

ProjectorApp::ProjectorApp(ProgramOptions options)
    : options_(std::move(options))
    , channel_(std::make_unique<link::SerialChannel>(link::makeSystemSerialPort(), clock_)) {
    // Both arrive on the reader or worker thread; the panel handles them on its own.
    channel_->setMessageSink([this](const std::string& text) {
        QMetaObject::invokeMethod(
            &relay_,
            [this, t = QString::fromStdString(text)] {
                if (window_)
                    window_->panel()->showChannelMessage(t);
                else
                    showMessage(nullptr, t);
            },
            Qt::QueuedConnection);
    });
    channel_->setReceiveHandler([this](link::Bytes block) {
        QMetaObject::invokeMethod(
            &relay_,
            [this, b = std::move(block)] {
                if (window_)
                    window_->panel()->onReceived(b);
            },
            Qt::QueuedConnection);
    });
}

ProjectorApp::~ProjectorApp() {
    // The window first: a running controller operation is waited for there.
    window_.reset();
    panel_.reset();
    channel_->close();
    if (simulator_)
        simulator_->stop();
    editing_.reset();
    browser_.reset();
    reader_.reset();
    recorder_.close();
    db_.close();
}

bool ProjectorApp::start() {
    QElapsedTimer total;
    total.start();
    exitCode_ = 0;

    QElapsedTimer step;
    step.start();
    loadSqlDrivers(catalogue::CatalogueLocation::fromEnvironment(options_.catalogueFile));
    if (options_.simulate && !startSimulator()) {
        exitCode_ = 1;
        return false;
    }
    timings_.simulatorMs = msSince(step);

    step.restart();
    const int detected = runDetection();
    timings_.detectionMs = msSince(step);
    if (detected == DetectionLogic::Exit)
        return false;
    if (detected == DetectionLogic::Manual) {
        ParameterDialog::Hooks hooks;
        hooks.closeChannel = [this] { channel_->close(); };
        hooks.listPorts = [this] { return checkedPorts(); };
        if (ParameterDialog::run(shell_, std::move(hooks), nullptr) != 1)
            return false;
    }

    step.restart();
    const bool connected = connectCatalogue();
    timings_.catalogueMs = msSince(step);
    if (!connected) {
        MessageDialog::run(MessageDialog::DatabaseMissing, nullptr);
        return false;
    }
    if (!openRecord())
        return false;

    step.restart();
    loadRules();
    createWindow();
    window_->show();
    if (simulator_) {
        panel_ = std::make_unique<VirtualPanel>(*simulator_);
        panel_->placeBeside(window_.get());
        panel_->show();
    }
    timings_.windowMs = msSince(step);
    timings_.totalMs = msSince(total);
    if (!rulesError_.isEmpty())
        showMessage(window_.get(), rulesError_);
    return true;
}

bool ProjectorApp::startSimulator() {
    sim::SimulatorOptions so;
    so.answerByte = options_.answerByte;
    simulatorDir_ = std::make_unique<QTemporaryDir>();
    if (simulatorDir_->isValid())
        so.linkPath = simulatorDir_->filePath(QStringLiteral("ttySIM0")).toStdString();
    simulator_ = std::make_unique<sim::Simulator>(so);
    std::string error;
    if (!simulator_->start(error)) {
        simulator_.reset();
        const QString text =
            QStringLiteral("无法启动模拟中控：%1").arg(QString::fromStdString(error));
        std::cerr << text.toStdString() << '\n';
        showMessage(nullptr, text);
        return false;
    }
    std::cerr << "模拟中控: " << simulator_->portPath() << '\n';
    return true;
}

std::vector<std::string> ProjectorApp::scanPorts() const {
    std::vector<std::string> out;
    if (simulator_)
        out.push_back(simulator_->portPath());
    out.insert(out.end(), options_.ports.begin(), options_.ports.end());
    if (options_.scanPresentPorts)
        out = link::availablePorts(out); // present ones, then the others
    // The simulator and the ports the user named come first: a controller
    // there is found without probing the machine's other ports.
    std::vector<std::string> ordered;
    auto add = [&ordered](const std::string& p) {
        if (!p.empty() && std::find(ordered.begin(), ordered.end(), p) == ordered.end())
            ordered.push_back(p);
    };
    if (simulator_)
        add(simulator_->portPath());
    for (const auto& p : options_.ports)
        add(p);
    for (const auto& p : out)
        add(p);
    return ordered;
}

std::vector<link::PortCheck> ProjectorApp::checkedPorts() const {
    const auto port = link::makeSystemSerialPort();
    return link::checkPorts(*port, scanPorts());
}

int ProjectorApp::runDetection() {
    DetectionScan scan = linkDetectionScan(*channel_, scanPorts());
    return DetectionDialog::run(shell_, std::move(scan), nullptr);
}

bool ProjectorApp::connectCatalogue() {
    const auto where = catalogue::CatalogueLocation::fromEnvironment(options_.catalogueFile);
    return db_.connect(where).ok();
}

void ProjectorApp::loadRules() {
    codecheck::LoadedRules loaded = codecheck::loadRules();
    if (loaded.ok()) {
        checker_ = std::make_shared<const codecheck::Checker>(std::move(loaded.rules));
        return;
    }
    QStringList lines;
    for (const auto& e : loaded.errors)
        lines << QString::fromStdString(e);
    std::cerr << lines.join(QLatin1Char('\n')).toStdString() << '\n';
    constexpr int kShownErrors = 5;
    if (lines.size() > kShownErrors) {
        const auto total = lines.size();
        lines = lines.mid(0, kShownErrors);
        lines << QStringLiteral("……（共 %1 处错误）").arg(total);
    }
    rulesError_ = QStringLiteral("功能码规则文件有错误，编辑型号时不检查功能码：\n") +
                  lines.join(QLatin1Char('\n'));
}

bool ProjectorApp::openRecord() {
    if (!options_.keepRecord)
        return true;
    const QString file = options_.recordFile.isEmpty()
                             ? record::recordFileFor(options_.catalogueFile)
                             : options_.recordFile;
    if (recorder_.open(file) == record::OpenStatus::Opened)
        return true;
    // The file is left as it is; writing without a record is the user's choice.
    return askQuestion(
        nullptr, QStringLiteral("%1\n\n不记录写入，继续吗？").arg(recorder_.problem()),
        QStringLiteral("继续（不记录）"), QStringLiteral("退出"), QStringLiteral("questionRecord"));
}

void ProjectorApp::createWindow() {
    reader_ = std::make_unique<CatalogueDbReader>(db_);
    browser_ = std::make_unique<CatalogueBrowser>(*reader_, selected_);
    browser_->build();
    editing_ = std::make_unique<CatalogueEditing>(db_, *browser_);
    PanelContext context{shell_,         *browser_, *channel_, [this] { return checkedPorts(); },
                         editing_.get(), checker_,  &recorder_};
    window_ = std::make_unique<MainWindow>(std::move(context));
}

} // namespace pj::shell
