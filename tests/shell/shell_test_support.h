#pragma once
// Shared by the GUI tests of PROJECTOR: the program started in-process with
// its built-in simulator and the delivered catalogue, answers for the
// detection and settings dialogs, widgets found by object name, and a model
// whose codes the simulated controller can echo.

#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/projectorapp.h"
#include "tests/shell/detection_test_support.h"

#include <QDialog>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace pj::shell::testing {

inline QString deliveredCatalogue() {
    return QStringLiteral(PJ_DELIVERED_CATALOGUE);
}

// "手动设置" in the detection dialog, then "确定" in the settings dialog.
inline void chooseManualSettingsAndOk() {
    ModalSeam::queueHandler([](QDialog& d) {
        d.findChild<QPushButton*>(QStringLiteral("button1076"))->click();
        return d.result();
    });
    ModalSeam::queueHandler([](QDialog& d) {
        d.findChild<QPushButton*>(QStringLiteral("button1039"))->click();
        return d.result();
    });
}

template <class T> T* child(QWidget* root, const char* name) {
    T* w = root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!w)
        qWarning("no widget %s", name);
    return w;
}

inline ProgramOptions simulated() {
    ProgramOptions o;
    o.simulate = true;
    o.answerByte = 0x01; // edition 21 at 600 baud, found on the first probe
    o.catalogueFile = deliveredCatalogue();
    o.scanPresentPorts = false; // the machine's own serial ports are left alone
    return o;
}

struct Pick {
    QString company;
    QString model;
};

// A model whose speed the edition runs exactly and which has at least three
// rows of distinct codes.
inline std::optional<Pick> pickModel(ProjectorApp& app) {
    auto tree = app.catalogue().loadTree();
    if (!tree)
        return std::nullopt;
    for (const auto& m : tree->models) {
        auto record = app.catalogue().loadModel(m.id);
        if (!record || record->keys.size() < 3 || record->baud < 1200 || record->baud > 38400)
            continue;
        if (record->keys[0].code == record->keys[2].code)
            continue;
        for (const auto& c : tree->companies)
            if (c.id == m.companyId)
                return Pick{c.name, m.name};
    }
    return std::nullopt;
}

} // namespace pj::shell::testing
