#include "cli/command.h"
#include "cli/console.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv) {
    // The catalogue's database drivers are Qt plugins; with the application
    // object they are found beside the program too (the Windows folder layout).
    QCoreApplication app(argc, argv);
    pj::cli::Console console;
    pj::cli::Io io{console.out(), console.err(), std::cin};
    return pj::cli::runCli(pj::cli::commandLineArguments(argc, argv), io);
}
