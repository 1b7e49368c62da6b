#pragma once
// The rooms file of `projector-cli commission` (docs/commissioning.md): one
// CSV row per room naming its port, controller edition and machine type, the
// codes (a catalogue model or codes given by hand), the room parameters and
// the ID card. The whole file is read and checked before anything is sent; a
// file with any invalid row is refused whole.

#include "link/roomcard.h"
#include "link/state.h"

#include <QByteArray>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pj::cli {

struct PlannedRow {
    int line = 0; // line of the file where the row begins (the header is line 1)
    std::string room;
    std::string port;       // as written
    std::string portKey;    // the device behind it: rows with one key run one after the other
    link::ShellState shell; // port, edition, programming speed, machine type, visualizer
    // Codes to write (none when the row only sets parameters or the card).
    std::optional<link::SelectedModel> codes;
    std::string company; // the catalogue model the codes come from (empty for given codes)
    std::string model;
    std::optional<link::RoomParameters> parameters;
    std::optional<std::string> card; // UTF-8
    bool approximateBaud = false;    // the edition can only approximate the projector's speed
};

struct PlanError {
    int line = 0;
    std::string reason;
};

struct CommissionPlan {
    std::vector<PlannedRow> rows;  // in file order
    std::vector<PlanError> errors; // every invalid row; empty when the plan may run
    // Row indexes per device, in the order the devices first appear.
    std::vector<std::vector<std::size_t>> byPort() const;
};

// Where a row's model comes from: company and model names to key rows and
// speed; nullopt with the reason in `error`.
struct ModelCodesLookup {
    std::function<std::optional<link::SelectedModel>(const std::string& company,
                                                     const std::string& model, std::string& error)>
        load;
};

// Reads and checks the whole file.
CommissionPlan readCommissionPlan(const QByteArray& file, const ModelCodesLookup& models);

// The device a port name stands for: the resolved path of a device file (a
// symbolic link and its target are one port), COM names in capitals.
std::string portIdentity(const std::string& port);

} // namespace pj::cli
