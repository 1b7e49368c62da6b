// Windows: ".lnk" files written by the shell-link object read back with the
// same object: target, working folder and description, for paths with spaces
// and Chinese, and with a character outside the ANSI code page.
//
// Wine's shell-link object keeps the target path only in the ANSI code page
// (Windows adds its UTF-16 form), so the target reads back whole there only
// when the code page holds it; the working folder and the description are
// kept in UTF-16 everywhere.
#include "install/win32/winapi.h"
#include "install_test_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

using namespace pj::install;
using namespace pj::install::testing;

namespace {

struct LinkInfo {
    std::wstring target;
    std::wstring folder;
    std::wstring description;
};

std::optional<LinkInfo> readLink(const fs::path& file) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::optional<LinkInfo> out;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
                wchar_t buf[1024] = {};
                LinkInfo info;
                link->GetPath(buf, 1024, nullptr, SLGP_RAWPATH);
                info.target = buf;
                link->GetWorkingDirectory(buf, 1024);
                info.folder = buf;
                link->GetDescription(buf, 1024);
                info.description = buf;
                out = info;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return out;
}

void makeAndReadBack(const std::string& programFiles) {
    TempDir root;
    auto shell = makeShellBelow(root.path());
    const fs::path folder = root.path() / pathFromUtf8(programFiles) / pathFromUtf8(kProductTitle);
    fs::create_directories(folder);
    writeFile(folder / "PROJECTOR.exe", "program");
    writeFile(folder / "remover.exe", "remover");
    ShortcutRequest r;
    r.installFolder = folder;
    r.program = folder / "PROJECTOR.exe";
    r.remover = folder / "remover.exe";
    r.group = std::string(kProductTitle);
    r.name = "Vantor";
    r.description = std::string(kProductShortTitle);
    r.desktop = true;
    std::string error;
    const auto plan = shell->plan(r, error);
    ASSERT_TRUE(plan) << error;
    ASSERT_EQ(plan->size(), 3u);
    EXPECT_EQ(plan->at(1).file.filename(), pathFromUtf8("卸载.lnk"));
    for (const auto& s : *plan) {
        fs::create_directories(s.file.parent_path());
        ASSERT_TRUE(shell->create(s, r, error)) << error;
        const auto info = readLink(s.file);
        ASSERT_TRUE(info) << utf8FromPath(s.file);
        const bool uninstall = s.kind == PlannedShortcut::Kind::Uninstall;
        const fs::path target = uninstall ? r.remover : r.program;
        if (utf8ToAnsi(utf8FromPath(target))) {
            EXPECT_TRUE(samePath(info->target, target)) << win32::utf8FromWide(info->target);
        }
        EXPECT_TRUE(samePath(info->folder, folder));
        EXPECT_EQ(info->description, win32::wideFromUtf8(uninstall ? "卸载Vantor软件" : "Vantor"));
    }
}

} // namespace

TEST(ShellLinks, pathWithSpacesAndChineseReadsBack) {
    makeAndReadBack("Program Files");
}

TEST(ShellLinks, pathOutsideTheAnsiCodePageKeepsItsWorkingFolder) {
    makeAndReadBack("Program Files \xE0\xB8\xA0"); // Thai
}
