#pragma once
// The command line of PROJECTOR.
//
//   --simulate[=ANSWERBYTE]  start a controller simulator in the program on a
//                            pseudo-terminal (answer byte 0x01 by default) and
//                            look for the controller on its port first
//   --port PORT              look on PORT as well (repeatable)
//   --record FILE            keep the commissioning record in FILE (by default
//                            beside the catalogue)
//   --version                print the program's version and end
//   --help

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pj::shell {

struct ProgramOptions {
    bool simulate = false;
    // Edition 21 of a standalone unit, programmed at 600 baud: the settings a
    // fresh start assumes, so a write needs no change in the settings dialog.
    std::uint8_t answerByte = 0x01;
    std::vector<std::string> ports;
    // Whether the serial ports present on the machine are scanned too (after
    // the simulator's and those given); tests and the benchmark leave the
    // machine's own ports alone.
    bool scanPresentPorts = true;
    // The catalogue, "projector.mdb" in the working folder (tests and the
    // benchmark point it elsewhere; the command line does not).
    QString catalogueFile = QStringLiteral("projector.mdb");
    // Whether the commissioning record is kept: in `recordFile`, or when that
    // is empty beside the catalogue (record/location.h). The command line
    // keeps it; tests that do not look at it leave it off.
    bool keepRecord = false;
    QString recordFile;
    bool help = false;
    bool version = false;
};

// `args` without the program name. nullopt with a one-line reason on a bad
// command line.
std::optional<ProgramOptions> parseOptions(const QStringList& args, QString& error);

QString usageText();

} // namespace pj::shell
