#pragma once
// The logic of the controller detection dialog, without widgets: what a scan
// reports, and how the dialog's phase, texts, progress and result follow from
// the scan and the buttons.

#include "link/state.h"

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

namespace pj::shell {

// What one scan found.
struct ScanOutcome {
    bool found = false;
    std::string portName; // the port on which the answer arrived
    int editionCode = 0;
    int controllerBaud = 0;
    // The ports the scan could not use, each with why ("没有权限打开串口 …").
    std::vector<std::string> unusable;
};

// One detection scan, run on the worker thread: reports progress 0..100 through
// `progress` (from the worker thread), returns soon after `stop` is requested.
using DetectionScan =
    std::function<ScanOutcome(const std::function<void(int)>& progress, std::stop_token stop)>;

// The dialog's logic, without widgets.
class DetectionLogic {
public:
    enum class Phase { Scanning, NotFound, Ended };
    enum Result { Exit = 0, Manual = 1, Found = 2 };

    static QString searchingText(); // "正在查找中控 . . ."
    static QString notFoundText(); // "没有找到合适的中控，请使用 “手工设置” 。"

    explicit DetectionLogic(pj::link::ShellState& state)
        : state_(state) {}

    void startScan();                          // Scanning, progress 0, searching text
    void progress(int value);                  // ignored unless scanning
    void finished(const ScanOutcome& outcome); // ignored unless scanning
    void manual();                             // "手动设置"
    void exit();                               // "退出" or close

    Phase phase() const { return phase_; }
    int result() const { return result_; }
    int progressValue() const { return progress_; }
    QString statusText() const;
    // After a fruitless scan: the ports it could not use and why, one a line;
    // empty otherwise.
    QString unusableText() const;
    bool searchAgainEnabled() const { return phase_ == Phase::NotFound; }

private:
    pj::link::ShellState& state_;
    QStringList unusable_;
    Phase phase_ = Phase::Scanning;
    int result_ = Exit;
    int progress_ = 0;
};

} // namespace pj::shell
