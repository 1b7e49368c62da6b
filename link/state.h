#pragma once
// The two process-wide records of the code writer. They are plain values owned
// by the program (or the command-line tool) and passed to what needs them.

#include <cstdint>
#include <string>
#include <vector>

namespace pj::link {

struct ShellState {
    int editionCode = 21;     // current controller edition
    int controllerBaud = 600; // programming speed; set together with editionCode
    int machineType = 0;      // 0 standalone, 1 network; -1 when typed, not chosen
    std::string portName;     // platform port name ("/dev/ttyUSB0", "COM3")
    int visualizerNumber = 1; // 1 analog, 2 digital; carried by every code frame
    bool monitorOpen = false; // the receive monitor is shown
};

enum class RowStatus {
    Unconfirmed, // loaded or written, no echo yet (question mark)
    Confirmed,   // the controller sent this code back (tick)
};

struct CodeListEntry {
    std::string name;          // display name of the key (FUNKEY.FUNCTION)
    std::string codeText;      // hex text (FUNKEY.FUNCODE), never cut
    std::uint32_t keyType = 0; // controller key slot 0..17
    std::uint32_t parity = 0;  // projector line parity: 0 none, 1 odd, 2 even
    bool selected = false;
    RowStatus status = RowStatus::Unconfirmed;
};

using CodeList = std::vector<CodeListEntry>;

struct SelectedModel {
    int selectedModelId = -1;          // MACHINE.ID, -1 before a model is chosen
    std::uint32_t selectedBaud = 9600; // the projector's line speed
    std::string selectedBaudText = "9600";
    std::uint32_t lastParity = 0; // parity of the row loaded or written last
    CodeList rows;
};

} // namespace pj::link
