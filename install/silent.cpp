#include "install/silent.h"

#include "install/folders.h"
#include "install/installer.h"
#include "install/product.h"

#include <atomic>

namespace pj::install {

std::optional<SetupArgs> parseSetupArgs(const std::vector<std::string>& args, std::string& error) {
    SetupArgs out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--silent") {
            out.silent = true;
        } else if (a == "--no-desktop") {
            out.noDesktop = true;
        } else if (a == "--dir" || a.rfind("--dir=", 0) == 0) {
            if (a == "--dir") {
                if (i + 1 >= args.size()) {
                    error = "--dir 需要一个目录";
                    return std::nullopt;
                }
                out.dir = args[++i];
            } else {
                out.dir = a.substr(6);
            }
        } else if (a == "--help" || a == "-h") {
            out.help = true;
        } else {
            error = "未知的参数：" + a;
            return std::nullopt;
        }
    }
    if ((out.dir || out.noDesktop) && !out.silent && !out.help) {
        error = "--dir 和 --no-desktop 只用于 --silent";
        return std::nullopt;
    }
    return out;
}

std::optional<RemoverArgs> parseRemoverArgs(const std::vector<std::string>& args,
                                            std::string& error) {
    RemoverArgs out;
    for (const auto& a : args) {
        if (a == "--silent")
            out.silent = true;
        else if (a == "--help" || a == "-h")
            out.help = true;
        else {
            error = "未知的参数：" + a;
            return std::nullopt;
        }
    }
    return out;
}

std::string setupUsage() {
    return "用法: setup [--silent [--dir 目录] [--no-desktop]]\n"
           "  --silent      不显示窗口，直接安装；全部完成时退出码为 0\n"
           "  --dir 目录    安装目录（默认 " +
           defaultInstallFolder() +
           "）\n"
           "  --no-desktop  不创建桌面快捷方式\n";
}

std::string removerUsage() {
    return "用法: remover [--silent]\n"
           "  --silent  不显示窗口，直接卸载本目录中记录的安装；全部完成时退出码为 0\n";
}

int runSilentSetup(const SetupArgs& args, const PayloadSource& source, ShellIntegration& shell,
                   std::ostream& err) {
    std::string error;
    auto payload = loadPayloadIndex(source, error);
    if (!payload) {
        err << "安装失败：" << error << '\n';
        return 1;
    }
    InstallOptions options;
    const std::string folder = args.dir.value_or(defaultInstallFolder());
    options.folder = pathFromUtf8(folder);
    options.shortcutName = std::string(kProductShortTitle);
    options.desktopShortcut = !args.noDesktop;
    Installer installer(source, std::move(*payload), shell);
    if (const auto problem = installer.check(options)) {
        err << "安装失败：" << *problem << '\n';
        return 1;
    }
    const std::atomic<bool> never{false};
    const InstallOutcome outcome = installer.run(options, never);
    for (const auto& note : outcome.notes)
        err << note << '\n';
    if (outcome.status != InstallOutcome::Status::Installed) {
        err << "安装失败：" << outcome.message << '\n';
        return 1;
    }
    return 0;
}

int runSilentRemove(const fs::path& installFolder, const ShellIntegration& shell,
                    std::ostream& err) {
    const RemovalOutcome outcome = removeInstallation(installFolder, shell);
    for (const auto& p : outcome.problems)
        err << p << '\n';
    if (outcome.keptCatalogue)
        err << keptCatalogueMessage(*outcome.keptCatalogue) << '\n';
    return outcome.complete() ? 0 : 1;
}

} // namespace pj::install
