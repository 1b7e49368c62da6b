#pragma once
// The logic of the port and edition settings dialog, without widgets: what
// the three lists hold and select at opening, when the type list is enabled,
// and what OK stores into the ShellState.

#include "link/state.h"

#include <string>
#include <vector>

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

} // namespace pj::shell
