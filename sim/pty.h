#pragma once
// The simulated device's side of a pseudo-terminal: the master end the
// simulators read and write, and the optional stable path (a symbolic link to
// the slave) that clients open instead of /dev/pts/N.

#include <string>

namespace pj::sim {

struct SimulatorPty {
    int master = -1;       // non-blocking, packet mode; -1 when opening failed
    std::string slavePath; // /dev/pts/N
};

// Opens a master in packet mode with EXTPROC set on a raw line, so that every
// change of the client's line settings reaches the master as a packet. With a
// `linkPath`, a symbolic link to the slave is made there (an old symbolic link
// is replaced, anything else at that path is refused). On failure the master
// is closed and `error` says why.
SimulatorPty openSimulatorPty(const std::string& linkPath, std::string& error);

// Closes `pty.master` (when open) and removes `linkPath` if it still points at
// this pty's slave: a path someone else has taken meanwhile stays.
void closeSimulatorPty(SimulatorPty& pty, const std::string& linkPath);

} // namespace pj::sim
