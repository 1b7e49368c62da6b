#pragma once
// The detection dialog in GUI tests of PROJECTOR: left to scan, its result
// whatever the scan found.

#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"

#include <QDialog>
#include <QEventLoop>
#include <QTimer>

namespace pj::shell::testing {

inline void letDetectionRun() {
    ModalSeam::queueHandler([](QDialog& d) {
        auto& dialog = static_cast<DetectionDialog&>(d);
        if (dialog.scanRunning()) {
            QEventLoop loop;
            QObject::connect(&dialog, &DetectionDialog::scanEnded, &loop, &QEventLoop::quit);
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return dialog.result();
    });
}

} // namespace pj::shell::testing
