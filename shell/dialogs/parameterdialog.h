#pragma once
// The port and edition settings dialog (dialog 134, title "参数设置").
//
// ParameterSettings (shell/dialogs/parametersettings.h) is the dialog's logic;
// ParameterDialog is the view: controls "combo1037" (port),
// "combo1040" (type), "combo1038" (edition), "button1039" (OK), "picture1088"
// (the arrow that folds the notes pane out and in), "groupSettings",
// "groupNotes", "labelPort", "labelType", "labelEdition", "note1".."note3".

#include "link/serialport.h"
#include "link/state.h"
#include "shell/dialogs/parametersettings.h"
#include "skin/skinneddialog.h"

#include <functional>
#include <string>
#include <vector>

class QComboBox;

namespace pj::skin {
class BitmapButton;
}

namespace pj::shell {

class ParameterDialog : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    struct Hooks {
        // Closes the serial channel if it is open (the port in use is then
        // listed again). Called once as the dialog opens.
        std::function<void()> closeChannel;
        // The ports tried just now: those that opened are listed to choose
        // from, those busy or not permitted are shown greyed with the reason.
        std::function<std::vector<pj::link::PortCheck>()> listPorts;
    };

    // Hooks left empty: nothing is closed, and the ports are checkPresentPorts().
    ParameterDialog(pj::link::ShellState& state, Hooks hooks, QWidget* parent = nullptr);

    // Runs the dialog modally (through the modal seam): 1 after OK, 0 when closed.
    static int run(pj::link::ShellState& state, Hooks hooks, QWidget* parent = nullptr);

    bool expanded() const { return expanded_; }
    QSize foldedSize() const;
    QSize fullSize() const { return fullSize_; }
    // Folds the notes pane out when folded in, and back in otherwise.
    void toggleNotes();

private:
    void foldIn();
    void onEditionChosen(int row);
    std::string chosenPort() const;
    void onOk();

    pj::link::ShellState& state_;
    QComboBox* port_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* edition_ = nullptr;
    pj::skin::BitmapButton* arrow_ = nullptr;
    bool expanded_ = false;
    QSize fullSize_;
};

} // namespace pj::shell
