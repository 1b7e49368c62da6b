#pragma once
// The setup wizard's steps and buttons without any window: what each button
// does in each step, which page, banner and buttons show, and the values the
// pages collect. The Qt and Win32 faces show what `view()` says and do what
// the outcomes ask.
//
// Steps: 1 welcome, 2 licence, 3 install folder, 4 shortcut, 5 copying,
// 6 finished. Back is hidden on step 1 and while copying; Next reads
// "继续  >>" until the folder page's Next turns it into "安装" and the shortcut
// page's Back into "继续"; Cancel asks on steps 1-4 and cancels the copy on
// step 5. Each visit creates the page afresh from the values kept here, so
// text abandoned with Back is dropped and the desktop box is checked again.

#include "install/folders.h"
#include "install/installer.h"

#include <functional>
#include <optional>
#include <string>

namespace pj::install {

class WizardLogic {
public:
    enum class Step { Welcome = 1, Licence, Folder, Shortcut, Copying, Finished };
    enum class Action {
        None,          // nothing to do (a press the step ignores)
        ShowStep,      // show the page (and banner, buttons) of view()
        AskExit,       // open the exit confirmation; its Exit closes the program
        Notice,        // open the notice dialog with `notice`; the step stays
        StartInstall,  // the copying page is shown: start the install worker
        RequestCancel, // the copy is asked to stop
        Close,         // close the program
    };
    struct Outcome {
        Action action = Action::None;
        std::string notice;
    };
    struct View {
        Step step = Step::Welcome;
        bool banner = false;
        bool backVisible = false;
        bool nextVisible = true;
        bool nextEnabled = true;
        std::string nextText;
    };
    // What the current page holds when a button is pressed.
    struct PageValues {
        std::string folderText;   // edit 1017 (step 3)
        std::string shortcutName; // edit 1020 (step 4)
        bool desktop = true;      // check box 1019 (step 4)
    };
    // Judges the whole installation before copying starts (Installer::check).
    using Preflight = std::function<std::optional<std::string>(const InstallOptions&)>;
    using FolderRule = std::function<FolderCheck(std::string_view)>;

    explicit WizardLogic(std::string defaultFolder, Preflight preflight = {},
                         FolderRule folderRule = checkInstallFolder);

    View view() const;
    Step step() const { return step_; }

    Outcome next(const PageValues& page);
    Outcome next() { return next(PageValues{}); }
    Outcome back();
    Outcome cancel();
    // The window is being closed (caption close button, window manager):
    // while copying this is a cancel and the window waits for the rollback;
    // otherwise the program closes without asking.
    Outcome closeRequested();
    // The licence radio buttons (1013 accept, 1014 decline).
    void chooseLicence(bool accept);
    // The install worker ended: step 6 and close on success; a failure
    // shows its reason first.
    Outcome installEnded(const InstallOutcome& outcome);

    // The folder browser: opened with the folder edit's text as installPath;
    // OK makes installPath the chosen folder with the product title appended
    // (nullopt on success, else the reason and installPath unchanged).
    void browseFrom(const std::string& folderText);
    std::optional<std::string> browserAccepted(const std::string& chosen);

    // Values the pages show and the installation uses.
    const std::string& installPath() const { return installPath_; }
    const std::string& shortcutName() const { return shortcutName_; }
    bool desktopShortcut() const { return desktopShortcut_; }
    bool licenceAccepted() const { return licenceAccepted_; }
    bool cancelRequested() const { return cancelRequested_; }
    InstallOptions installOptions() const;

private:
    Step step_ = Step::Welcome;
    bool licenceAccepted_ = true;
    bool cancelRequested_ = false;
    bool desktopShortcut_ = false;
    std::string installPath_;
    std::string shortcutName_;
    std::string nextText_;
    Preflight preflight_;
    FolderRule folderRule_;
};

// The folder the browser's OK makes: `chosen` with the product title
// appended after a separator (none added when `chosen` already ends with
// one). An empty `chosen` gives the bare title, which the folder check
// refuses.
std::string appendProductTitle(const std::string& chosen);

} // namespace pj::install
