#pragma once
// Temporary folders, file helpers and a small carried payload for the
// install core's tests (native and under Wine).

#include "install/files.h"
#include "install/payload.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace pj::install::testing {

// A folder of its own below the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path p = fs::temp_directory_path() /
                               ("pj-install-" + std::to_string(rd()) + "-" + std::to_string(rd()));
            std::error_code ec;
            if (fs::create_directory(p, ec)) {
                path_ = p;
                return;
            }
        }
        ADD_FAILURE() << "no temporary folder";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline void writeFile(const fs::path& p, std::string_view bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every regular file below `root`, relative, '/' between folders, sorted.
inline std::vector<std::string> filesBelow(const fs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::exists(root, ec))
        return out;
    for (const auto& e : fs::recursive_directory_iterator(root, ec)) {
        if (e.is_regular_file())
            out.push_back(utf8FromPath(fs::relative(e.path(), root).generic_u8string()));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The product as the tests carry it: the program, the help, the catalogue,
// one file in a sub-folder (as the Windows build's plugins), the remover.
struct TestPayload {
    MemoryPayload source;
    std::vector<PayloadEntry> entries{{kProgramResource, "PROJECTOR.exe"},
                                      {kHelpResource, "projector.CHM"},
                                      {kCatalogueResource, "projector.mdb"},
                                      {kFirstFurtherResource, "platforms/qoffscreen.dll"}};
    static constexpr std::string_view kCatalogue = "delivered catalogue";

    TestPayload() {
        source.add(kProgramResource, "program bytes");
        source.add(kHelpResource, "help bytes");
        source.add(kCatalogueResource, kCatalogue);
        source.add(kFirstFurtherResource, "plugin bytes");
        source.add(kRemoverResource, "remover bytes");
        source.add(kPayloadIndexResource, formatPayloadIndex(entries));
    }
};

} // namespace pj::install::testing
