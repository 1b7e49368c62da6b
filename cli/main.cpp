#include "cli/command.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    pj::cli::Io io{std::cout, std::cerr, std::cin};
    return pj::cli::runCli(args, io);
}
