// Installing and uninstalling the whole product from a built setup program
// (the POSIX setup with its appended payload, or setup.exe's resources under
// Windows/Wine): the install core's run into a fresh folder, shortcuts
// included, then the record-driven removal; and the size of setup against
// the sum of the files it carries.
//
//   bench_install SETUP [RUNS]     default 5 runs
//
// The self-delete of the remover (the purger's, or on POSIX remover's own,
// fixed 2 s wait for the uninstaller to end) is not part of the removal
// figure; it is printed apart.

#include "install/installer.h"
#include "install/product.h"
#include "install/removal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

using namespace pj::install;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void print(const char* what, std::vector<double> v, double target) {
    std::sort(v.begin(), v.end());
    std::printf("%-40s median %8.1f ms  min %8.1f  max %8.1f  (%zu runs, target <= %g ms)\n", what,
                v[v.size() / 2], v.front(), v.back(), v.size(), target);
}

fs::path freshFolder() {
    std::random_device rd;
    fs::path p = fs::temp_directory_path() / ("pj-bench-install-" + std::to_string(rd()));
    fs::create_directories(p);
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_install SETUP [RUNS]\n");
        return 2;
    }
    const fs::path setupFile = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string error;
    auto source = openPayloadFile(setupFile, error);
    auto payload = source ? loadPayloadIndex(*source, error) : std::nullopt;
    if (!payload) {
        std::fprintf(stderr, "bench_install: %s\n", error.c_str());
        return 1;
    }

    std::uintmax_t carried = 0;
    for (const auto& e : *payload)
        carried += source->resource(e.resource)->size();
    for (int n : {kRemoverResource, kLicenceResource, kPayloadIndexResource})
        if (const auto r = source->resource(n))
            carried += r->size();
    const std::uintmax_t setupSize = fs::file_size(setupFile);
    std::printf("setup: %ju bytes; carried files: %zu product files + remover, %ju bytes; "
                "setup / carried = %.3f\n",
                setupSize, payload->size(), carried,
                static_cast<double>(setupSize) / static_cast<double>(carried));

    std::vector<double> installs;
    std::vector<double> removals;
    for (int i = 0; i < runs; ++i) {
        const fs::path root = freshFolder();
        auto shell = makeShellBelow(root / "shell");
        InstallOptions o;
        o.folder = root / pathFromUtf8(kProductTitle);
        o.shortcutName = std::string(kProductShortTitle);
        o.desktopShortcut = true;
        Installer installer(*source, *payload, *shell);
        const std::atomic<bool> cancel{false};
        auto t = Clock::now();
        const InstallOutcome out = installer.run(o, cancel);
        installs.push_back(msSince(t));
        if (out.status != InstallOutcome::Status::Installed) {
            std::fprintf(stderr, "bench_install: %s\n", out.message.c_str());
            return 1;
        }
        t = Clock::now();
        const RemovalOutcome removed = removeInstallation(o.folder, *shell);
        removals.push_back(msSince(t));
        if (!removed.complete()) {
            std::fprintf(stderr, "bench_install: removal incomplete\n");
            return 1;
        }
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    print("install (files, record, shortcuts)", installs, 2000);
    print("uninstall (record-driven removal)", removals, 2000);
    std::printf("then the remover's file: deleted after the fixed wait of 2000 ms\n");
    return 0;
}
