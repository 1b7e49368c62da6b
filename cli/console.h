#pragma once
// projector-cli's command line and console, one implementation per platform
// (posix/console_posix.cpp, win32/console_win32.cpp). The commands take and
// print UTF-8 text whatever the platform.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace pj::cli {

// The program's arguments without its name, in UTF-8. On Windows they are
// read from the wide command line (GetCommandLineW), so Chinese text arrives
// whole whatever the system's code page.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Standard output and error for UTF-8 text. On POSIX these are std::cout and
// std::cerr. On Windows a console is given the text as UTF-16
// (WriteConsoleW), so it shows Chinese in any console code page; a file or a
// pipe receives the UTF-8 bytes unchanged. Lines go out as they end.
class Console {
public:
    Console();
    ~Console(); // flushes
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    std::ostream& out();
    std::ostream& err();

private:
    struct Streams;
    std::unique_ptr<Streams> streams_;
};

} // namespace pj::cli
