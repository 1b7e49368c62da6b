#pragma once
// Whether projector-cli's standard output is a terminal that takes the
// cursor movements of the live progress lines (on Windows the console is
// switched to take them).

namespace pj::cli {

bool stdoutIsLiveTerminal();

} // namespace pj::cli
