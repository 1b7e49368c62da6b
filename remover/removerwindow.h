#pragma once
// The uninstaller's window on POSIX (" 卸载程序"): the compact caption, the
// uninstall panel (dialog 120) with the banner, progress bar 1027 and the
// button "卸载". One press removes what the install record in the install
// folder lists (install/removal.h), tells the user about a kept catalogue or
// anything that could not be removed, and closes the window; main() then
// deletes the remover's own file after the same 2 s wait the Windows purger
// keeps.
//
// Object names: "removerWindow", "panel120", "picture139", "progress1027",
// "button1026".

#include "install/removal.h"

#include <QWidget>

#include <optional>

class QProgressBar;
class QPushButton;

namespace pj::remover {

class RemoverWindow : public QWidget {
    Q_OBJECT
public:
    RemoverWindow(install::fs::path installFolder, const install::ShellIntegration& shell,
                  QWidget* parent = nullptr);

    // Set once "卸载" was pressed.
    const std::optional<install::RemovalOutcome>& outcome() const { return outcome_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void uninstall();

    install::fs::path installFolder_;
    const install::ShellIntegration& shell_;
    QProgressBar* progress_ = nullptr;
    QPushButton* button_ = nullptr;
    std::optional<install::RemovalOutcome> outcome_;
};

// What the user is told after the removal: the kept catalogue and every
// problem, one per line; empty when there is nothing to tell.
QString removalReport(const install::RemovalOutcome& outcome);

} // namespace pj::remover
