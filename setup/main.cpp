// setup (POSIX): installs the product from the files carried at the end of
// this program's own file. Without arguments the wizard; with --silent the
// same installation without a window (install/silent.h).
#include "install/folders.h"
#include "install/payload.h"
#include "install/shell.h"
#include "install/silent.h"
#include "setup/setupdialogs.h"
#include "setup/setupwindow.h"

#include <QApplication>
#include <QDir>

#include <iostream>

int main(int argc, char** argv) {
    using namespace pj;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto parsed = install::parseSetupArgs(args, error);
    if (!parsed) {
        std::cerr << error << '\n' << install::setupUsage();
        return 2;
    }
    if (parsed->help) {
        std::cout << install::setupUsage();
        return 0;
    }
    auto source = install::openOwnPayload(error);
    auto shell = install::makeSystemShell();
    if (parsed->silent) {
        if (!source) {
            std::cerr << "安装失败：" << error << '\n';
            return 1;
        }
        return install::runSilentSetup(*parsed, *source, *shell, std::cerr);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("setup"));
    std::optional<std::vector<install::PayloadEntry>> payload;
    if (source)
        payload = install::loadPayloadIndex(*source, error);
    if (!payload) {
        setup::NoticeDialog::run(QString::fromStdString(error), nullptr);
        return 1;
    }
    setup::SetupContext context;
    context.source = source.get();
    context.payload = std::move(*payload);
    context.shell = shell.get();
    context.defaultFolder = install::defaultInstallFolder();
    context.startFolder = QDir::currentPath();
    setup::SetupWindow window(std::move(context));
    window.show();
    QApplication::exec();
    return 0;
}
