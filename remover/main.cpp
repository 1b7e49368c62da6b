// remover (POSIX): removes the installation recorded in its own folder, then
// its own file. A running program may delete its own file here, so remover
// does the Windows purger's job itself, in the same order and with the same
// wait: the listed files, the record, the program group, then 2 s later
// its own file.
#include "install/removal.h"
#include "install/shell.h"
#include "install/silent.h"
#include "remover/removerwindow.h"

#include <QApplication>

#include <unistd.h>

#include <chrono>
#include <climits>
#include <iostream>
#include <thread>

namespace {

pj::install::fs::path ownFile() {
    char buf[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? pj::install::fs::path(std::string(buf, static_cast<std::size_t>(n)))
                 : pj::install::fs::path();
}

// The purger's part: wait for the window to have gone, then remove the
// program file. false when it could not be deleted.
bool deleteOwnFile(const pj::install::fs::path& self) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::error_code ec;
    return !self.empty() && pj::install::fs::remove(self, ec);
}

} // namespace

int main(int argc, char** argv) {
    using namespace pj;
    std::string error;
    const auto parsed = install::parseRemoverArgs({argv + 1, argv + argc}, error);
    if (!parsed) {
        std::cerr << error << '\n' << install::removerUsage();
        return 2;
    }
    if (parsed->help) {
        std::cout << install::removerUsage();
        return 0;
    }
    const install::fs::path self = ownFile();
    const install::fs::path folder = self.parent_path();
    auto shell = install::makeSystemShell();
    if (parsed->silent) {
        int rc = install::runSilentRemove(folder, *shell, std::cerr);
        if (!deleteOwnFile(self)) {
            std::cerr << "无法删除 " << self.string() << '\n';
            rc = 1;
        }
        return rc;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("remover"));
    remover::RemoverWindow window(folder, *shell);
    window.show();
    QApplication::exec();
    if (window.outcome())
        deleteOwnFile(self);
    return 0;
}
