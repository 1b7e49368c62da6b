#pragma once
// Where `projector-cli write --company C --model M` takes its rows from.

#include "link/state.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pj::cli {

struct ModelCodes {
    std::uint32_t baud = 0;  // the projector's line speed (MACHINE.BAUD)
    pj::link::CodeList rows; // key rows in catalogue order, with their parity
};

// Loads a model's key rows from a catalogue file (or the PROJECTOR_CATALOGUE
// connection). On failure returns nullopt with a one-line reason in `error`.
std::optional<ModelCodes> loadModelCodes(const std::string& catalogueFile,
                                         const std::string& company, const std::string& model,
                                         std::string& error);

} // namespace pj::cli
