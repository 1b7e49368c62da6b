// setup.exe: installs the product from the files it carries as resources of
// type 256. Without arguments the wizard; "--silent [--dir PATH]
// [--no-desktop]" installs without a window, exit code 0 only when
// everything was done.
#include "install/folders.h"
#include "install/payload.h"
#include "install/shell.h"
#include "install/silent.h"
#include "setup/win32/look.h"
#include "setup/win32/wizard.h"

#include <sstream>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    using namespace pj;
    std::string error;
    const auto parsed = install::parseSetupArgs(winsetup::commandLineArguments(), error);
    if (!parsed) {
        winsetup::writeError(error + "\n" + install::setupUsage());
        return 2;
    }
    if (parsed->help) {
        winsetup::writeOutput(install::setupUsage());
        return 0;
    }
    auto source = install::openOwnPayload(error);
    auto shell = install::makeSystemShell();
    if (parsed->silent) {
        std::ostringstream err;
        const int rc = install::runSilentSetup(*parsed, *source, *shell, err);
        winsetup::writeError(err.str());
        return rc;
    }
    auto payload = install::loadPayloadIndex(*source, error);
    winsetup::registerLook(instance);
    if (!payload) {
        winsetup::showNotice(nullptr, error, winsetup::Program::Setup);
        return 1;
    }
    winsetup::WizardContext context;
    context.instance = instance;
    context.source = source.get();
    context.payload = std::move(*payload);
    context.shell = shell.get();
    context.defaultFolder = install::defaultInstallFolder();
    context.startFolder = install::fs::current_path().wstring();
    return winsetup::runWizard(std::move(context), show);
}
