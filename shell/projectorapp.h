#pragma once
// The PROJECTOR program as one object: it owns the programming state, the
// selected model, the serial channel, the catalogue connection, the optional
// in-process controller simulator and the main window, and runs the start-up
// in its order: controller detection; the settings dialog when the user chose
// to set up by hand (closing it ends the program); the catalogue connection
// ("没找到数据库文件！" ends the program); the commissioning record beside the
// catalogue (one that cannot be kept is reported, and the program goes on
// without it only when the user says so); the tree, the code list and the
// panel controls; then the window is shown. The makers' framing rules (the
// code checker of the model editor) are read with the catalogue; rules that
// cannot be read are reported once the window shows, and codes are then not
// judged.

#include "catalogue/cataloguedb.h"
#include "codecheck/checker.h"
#include "link/clock.h"
#include "link/serialchannel.h"
#include "link/state.h"
#include "record/recorder.h"
#include "shell/options.h"

#include <QObject>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace pj::sim {
class Simulator;
}

namespace pj::shell {

class CatalogueBrowser;
class CatalogueDbReader;
class CatalogueEditing;
class MainWindow;
class VirtualPanel;

// How long each start-up step took, for the benchmark.
struct StartupTimings {
    double simulatorMs = 0;
    double detectionMs = 0; // the detection dialog, probe pauses included
    double catalogueMs = 0; // connecting the catalogue
    double windowMs = 0;    // tree, code list, panel controls, showing
    double totalMs = 0;
};

class ProjectorApp {
public:
    explicit ProjectorApp(ProgramOptions options);
    ~ProjectorApp(); // closes the window, the channel, the simulator, the catalogue
    ProjectorApp(const ProjectorApp&) = delete;
    ProjectorApp& operator=(const ProjectorApp&) = delete;

    // Runs the start-up. False when the program is to end without a window;
    // exitCode() then tells with which code.
    bool start();
    int exitCode() const { return exitCode_; }

    // Ports that detection scans, in order: the simulator's, those given with
    // --port, then those present on the machine.
    std::vector<std::string> scanPorts() const;
    // The same ports, only those that can be opened exclusively right now.
    std::vector<link::PortCheck> checkedPorts() const;

    link::ShellState& shellState() { return shell_; }
    link::SelectedModel& selectedModel() { return selected_; }
    link::SerialChannel& channel() { return *channel_; }
    catalogue::CatalogueDb& catalogue() { return db_; }
    // The code checker; null when the rules could not be read.
    std::shared_ptr<const codecheck::Checker> checker() const { return checker_; }
    record::Recorder& recorder() { return recorder_; }
    sim::Simulator* simulator() const { return simulator_.get(); }
    MainWindow* mainWindow() const { return window_.get(); }
    // The virtual controller panel (with --simulate), else null.
    VirtualPanel* virtualPanel() const { return panel_.get(); }
    const StartupTimings& timings() const { return timings_; }

private:
    bool startSimulator();
    int runDetection();
    bool connectCatalogue();
    void loadRules();
    bool openRecord();
    void createWindow();

    ProgramOptions options_;
    link::ShellState shell_;
    link::SelectedModel selected_;
    link::SystemClock clock_;
    std::unique_ptr<link::SerialChannel> channel_;
    std::unique_ptr<sim::Simulator> simulator_;
    catalogue::CatalogueDb db_;
    record::Recorder recorder_;
    std::unique_ptr<CatalogueDbReader> reader_;
    std::unique_ptr<CatalogueBrowser> browser_;
    std::unique_ptr<CatalogueEditing> editing_;
    std::shared_ptr<const codecheck::Checker> checker_;
    QString rulesError_; // why the rules could not be read
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<VirtualPanel> panel_;
    // Holds the simulator's port link, whose name stays when the simulated
    // adapter is pulled and plugged in again (as a USB adapter's does).
    std::unique_ptr<QTemporaryDir> simulatorDir_;
    QObject relay_; // context on the user-interface thread for posts from other threads
    int exitCode_ = 0;
    StartupTimings timings_;
};

} // namespace pj::shell
