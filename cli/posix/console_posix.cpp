// projector-cli's command line and console on POSIX: the arguments and the
// terminal are UTF-8 already.

#include "cli/console.h"

#include <iostream>

namespace pj::cli {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

struct Console::Streams {};

Console::Console() = default;

Console::~Console() {
    std::cout.flush();
    std::cerr.flush();
}

std::ostream& Console::out() {
    return std::cout;
}

std::ostream& Console::err() {
    return std::cerr;
}

} // namespace pj::cli
