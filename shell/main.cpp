// PROJECTOR: writes projector codes into a classroom central controller.

#include "shell/options.h"
#include "shell/projectorapp.h"

#include <QApplication>

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    // --version is answered before the window system is reached, so that it
    // works without a display (installation checks, packaging).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "PROJECTOR " << PJ_VERSION << '\n';
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PROJECTOR"));

    QString error;
    const auto options = pj::shell::parseOptions(QApplication::arguments().mid(1), error);
    if (!options) {
        std::cerr << error.toStdString() << '\n' << pj::shell::usageText().toStdString();
        return 2;
    }
    if (options->help) {
        std::cout << pj::shell::usageText().toStdString();
        return 0;
    }

    pj::shell::ProjectorApp projector(*options);
    if (!projector.start())
        return projector.exitCode();
    return QApplication::exec();
}
