#pragma once
// The controller detection dialog (dialog 145, title "检测中控").
//
// The scan runs on a worker thread; its progress and its result are posted
// back to the user-interface thread, which alone touches the widgets and the
// ShellState. Stopping a scan (a button, closing the dialog, a found
// controller) asks the worker to stop and waits for it: a thread is never
// killed, so the serial port is always left closed by the scan itself.
//
// Results: 2 a controller was found (editionCode, controllerBaud and portName
// set), 1 "手动设置" (portName emptied), 0 "退出" or the dialog closed. After a
// fruitless scan the ports it could not use are listed with why (busy, no
// permission and how to get it), and the dialog grows to show them.
// Object names: "label1078" (status line), "progress1075", "button1080"
// ("重新查找"), "button1076" ("手动设置"), "button1077" ("退出"),
// "labelUnusable" (the ports the scan could not use).

#include "link/serialchannel.h"
#include "link/state.h"
#include "shell/dialogs/detectionlogic.h"
#include "skin/skinneddialog.h"

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pj::shell {

// The link core's detection scan on `channel` over `ports`, in that order
// (the program puts the built-in simulator and the ports the user named
// first). The channel is used only by the worker while a scan runs.
DetectionScan linkDetectionScan(pj::link::SerialChannel& channel, std::vector<std::string> ports);

class DetectionDialog : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    // Starts the first scan at once.
    DetectionDialog(pj::link::ShellState& state, DetectionScan scan, QWidget* parent = nullptr);
    ~DetectionDialog() override; // stops a running scan and waits for it

    // Runs the dialog modally (through the modal seam) and returns 0, 1 or 2.
    static int run(pj::link::ShellState& state, DetectionScan scan, QWidget* parent = nullptr);

    const DetectionLogic& logic() const { return logic_; }
    bool scanRunning() const { return worker_.joinable(); }

Q_SIGNALS:
    void scanEnded(); // a scan finished on its own (found or not) and its result was taken

protected:
    void done(int r) override;

private:
    void startScan();
    void stopScan();
    void refresh();
    void showUnusable(const QString& text);
    void onProgress(unsigned generation, int value);
    void onFinished(unsigned generation, const ScanOutcome& outcome);

    DetectionLogic logic_;
    DetectionScan scan_;
    std::jthread worker_;
    unsigned generation_ = 0; // posts from an earlier scan are dropped
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* again_ = nullptr;
    QPushButton* manual_ = nullptr;
    QPushButton* exit_ = nullptr;
    QLabel* unusable_ = nullptr;
    QSize baseSize_; // without the list of unusable ports
};

} // namespace pj::shell
