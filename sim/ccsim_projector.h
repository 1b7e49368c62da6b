#pragma once
// ccsim --projector FAMILY: the simulator stands in for a projector instead of
// the controller (the test send's far end).

#include <string>
#include <vector>

namespace pj::sim {

// True when the command line asks for the projector mode.
bool wantsProjectorMode(const std::vector<std::string>& args);
// Runs the projector mode until "quit", end of a signal; the exit code.
int runProjectorMode(const std::vector<std::string>& args);

} // namespace pj::sim
