#pragma once
// The port and edition settings dialog (dialog 134, title "参数设置").
//
// ParameterSettings is the dialog's logic: what the three lists hold and
// select at opening, when the type list is enabled, and what OK stores into the
// ShellState. ParameterDialog is the view: controls "combo1037" (port),
// "combo1040" (type), "combo1038" (edition), "button1039" (OK), "picture1088"
// (the arrow that folds the notes pane out and in), "groupSettings",
// "groupNotes", "labelPort", "labelType", "labelEdition", "note1".."note3".

#include "link/state.h"
#include "skin/skinneddialog.h"

#include <functional>
#include <string>
#include <vector>

class QComboBox;

namespace pj::skin {
class BitmapButton;
}

namespace pj::shell {

class ParameterSettings {
public:
    // `ports`: the ports that could be opened just now, in any order.
    ParameterSettings(const pj::link::ShellState& state, std::vector<std::string> ports);

    // The ports sorted (digit runs compared as numbers: COM2 before COM10).
    const std::vector<std::string>& ports() const { return ports_; }
    // Text of the port field: the stored port name, else the first port, else "".
    std::string initialPortText() const;

    // "单机版" (index 0), "网络版" (index 1).
    static const std::vector<std::string>& typeLabels();
    int initialTypeIndex() const; // 1 when machineType is 1, else 0

    // The seven edition labels in list order ("Cendo版" ... "Dorim版").
    static std::vector<std::string> editionLabels();
    int initialEditionRow() const; // row of editionCode, -1 for an unknown code
    bool initialTypeListEnabled() const;

    // The type list is enabled for "Orvel版", "Tamir版" and "Lumer版" only; an
    // unknown label leaves it enabled.
    static bool typeListEnabledFor(const std::string& editionLabel);

    // OK: stores the port text (whole, trimmed), the type index as machineType
    // (-1 when none is chosen), and the edition's code and programming speed
    // ("Orvel版" and "Tamir版": 1200 for a network unit, 600 otherwise). An
    // unknown edition label leaves editionCode and controllerBaud as they were.
    static void accept(pj::link::ShellState& state, const std::string& portText, int typeIndex,
                       const std::string& editionLabel);

private:
    const pj::link::ShellState& state_;
    std::vector<std::string> ports_;
};

class ParameterDialog : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    struct Hooks {
        // Closes the serial channel if it is open (the port in use is then
        // listed again). Called once as the dialog opens.
        std::function<void()> closeChannel;
        // The ports that can be opened exclusively at this moment.
        std::function<std::vector<std::string>()> listPorts;
    };

    // Hooks left empty: nothing is closed, and the ports are openablePorts().
    ParameterDialog(pj::link::ShellState& state, Hooks hooks, QWidget* parent = nullptr);

    // The ports present now (and `extra`) that can be opened exclusively at
    // this moment; a port held by another program is left out.
    static std::vector<std::string> openablePorts(const std::vector<std::string>& extra = {});

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
