#pragma once
// The setup wizard window of the POSIX setup: the caption strip, the wizard
// host (dialog 120) with its three buttons, the page of the current step
// (121, 123, 126, 128, 130) and the banner (138). It shows what the wizard
// logic (install/wizard.h) says, runs the installation on a worker thread
// while the copying page shows, and closes when it ends.
//
// Object names: "setupWindow", "host120", "page121" ... "page130",
// "banner138", "button1010" (Next), "button1011" (Cancel), "button1012"
// (Back); on the pages "edit1012" (licence), "radio1013", "radio1014",
// "edit1017", "button1018", "edit1020", "check1019", "progress1021".

#include "install/installer.h"
#include "install/wizard.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <optional>
#include <thread>

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace pj::setup {

struct SetupContext {
    const install::PayloadSource* source = nullptr;
    std::vector<install::PayloadEntry> payload;
    install::ShellIntegration* shell = nullptr;
    std::string defaultFolder;
    QString startFolder; // where a "readme.txt" replaces the licence
};

class SetupWindow : public QWidget {
    Q_OBJECT
public:
    explicit SetupWindow(SetupContext context, QWidget* parent = nullptr);
    ~SetupWindow() override;

    const install::WizardLogic& logic() const { return logic_; }
    // The result of the installation once the worker has ended.
    const std::optional<install::InstallOutcome>& outcome() const { return outcome_; }
    QWidget* page() const { return page_; }

Q_SIGNALS:
    void installFinished();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void showStep();
    void handle(const install::WizardLogic::Outcome& outcome);
    install::WizardLogic::PageValues pageValues() const;
    void startInstall();
    void installEnded(install::InstallOutcome outcome);
    void browse();

    QWidget* makePage(install::WizardLogic::Step step);

    SetupContext context_;
    install::WizardLogic logic_;
    QWidget* host_ = nullptr;
    QPointer<QWidget> page_;
    QPointer<QWidget> banner_;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QCheckBox* desktopBox_ = nullptr;
    QProgressBar* progress_ = nullptr;

    std::atomic<bool> cancelFlag_{false};
    std::jthread worker_;
    std::optional<install::InstallOutcome> outcome_;
    bool closeAllowed_ = false;
};

} // namespace pj::setup
