// Windows: ".lnk" files made with the shell-link object through its wide
// interface (so any path works), in the current user's Programs folder (the
// group folder below it) and Desktop folder as the shell reports them.
#include "install/folders.h"
#include "install/product.h"
#include "install/shell.h"
#include "install/win32/winapi.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace pj::install {

namespace {

std::optional<fs::path> knownFolder(REFKNOWNFOLDERID id, int csidl) {
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) {
        fs::path out(path);
        CoTaskMemFree(path);
        return out;
    }
    if (path)
        CoTaskMemFree(path);
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return fs::path(buffer);
    return std::nullopt;
}

bool isLink(const fs::path& file) {
    return pathTextEqual(file.extension().native(), L".lnk") && !file.stem().empty();
}

// The component-object runtime for the calling thread, started once per
// thread and kept (starting and ending it for every link costs more than the
// link itself).
void ensureCom() {
    thread_local const bool started = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)started;
}

// One shell link: target, working folder and description, saved to `file`.
bool saveShellLink(const fs::path& file, const fs::path& target, const fs::path& workingFolder,
                   const std::string& description, std::string& error) {
    ensureCom();
    IShellLinkW* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
    bool ok = false;
    if (SUCCEEDED(hr) && link) {
        link->SetPath(target.c_str());
        link->SetDescription(win32::wideFromUtf8(description).c_str());
        link->SetWorkingDirectory(workingFolder.c_str());
        IPersistFile* persist = nullptr;
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
        if (SUCCEEDED(hr) && persist) {
            hr = persist->Save(file.c_str(), TRUE);
            ok = SUCCEEDED(hr);
            persist->Release();
        }
        link->Release();
    }
    if (!ok)
        error = "无法创建快捷方式：" + utf8FromPath(file);
    return ok;
}

// The working folder a shell link file starts its target in.
std::optional<fs::path> linkWorkingFolder(const fs::path& file) {
    ensureCom();
    std::optional<fs::path> out;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        link) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            persist) {
            wchar_t folder[MAX_PATH + 1] = {};
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)))
                out = fs::path(folder);
            persist->Release();
        }
        link->Release();
    }
    return out;
}

class Win32Shell : public ShellIntegration {
public:
    Win32Shell(std::optional<fs::path> programs, std::optional<fs::path> desktop)
        : programs_(std::move(programs))
        , desktop_(std::move(desktop)) {}

    std::optional<std::vector<PlannedShortcut>> plan(const ShortcutRequest& r,
                                                     std::string& error) const override {
        const auto group = groupFolder(r.group);
        if (!group) {
            error = "无法确定“程序”菜单文件夹";
            return std::nullopt;
        }
        std::vector<PlannedShortcut> out;
        out.push_back({PlannedShortcut::Kind::Program, *group / pathFromUtf8(r.name + ".lnk")});
        out.push_back({PlannedShortcut::Kind::Uninstall,
                       *group / pathFromUtf8(std::string(kUninstallName) + ".lnk")});
        if (r.desktop) {
            if (!desktop_) {
                error = "无法确定桌面文件夹";
                return std::nullopt;
            }
            out.push_back(
                {PlannedShortcut::Kind::Desktop, *desktop_ / pathFromUtf8(r.name + ".lnk")});
        }
        return out;
    }

    bool create(const PlannedShortcut& s, const ShortcutRequest& r, std::string& error) override {
        switch (s.kind) {
        case PlannedShortcut::Kind::Program:
        case PlannedShortcut::Kind::Desktop:
            return saveShellLink(s.file, r.program, r.installFolder, r.description, error);
        case PlannedShortcut::Kind::Uninstall:
            return saveShellLink(s.file, r.remover, r.installFolder,
                                 std::string(kUninstallDescription), error);
        case PlannedShortcut::Kind::MenuDirectory:
        case PlannedShortcut::Kind::MenuLayout:
            break;
        }
        error = "此平台没有这种快捷方式";
        return false;
    }

    std::optional<fs::path> groupFolder(std::string_view group) const override {
        if (!programs_ || !isPlainGroupName(group))
            return std::nullopt;
        return *programs_ / pathFromUtf8(group);
    }

    bool mayHaveMade(const fs::path& file, std::string_view group) const override {
        if (!isLink(file))
            return false;
        const auto g = groupFolder(group);
        return (g && samePath(file.parent_path(), *g)) ||
               (desktop_ && samePath(file.parent_path(), *desktop_));
    }

    bool belongsTo(const fs::path& file, const fs::path& installFolder) const override {
        const auto folder = linkWorkingFolder(file);
        return folder && samePath(*folder, installFolder);
    }

    std::vector<fs::path> shortcutFolders(std::string_view group) const override {
        std::vector<fs::path> out;
        if (const auto g = groupFolder(group))
            out.push_back(*g);
        if (desktop_)
            out.push_back(*desktop_);
        return out;
    }

private:
    std::optional<fs::path> programs_;
    std::optional<fs::path> desktop_;
};

} // namespace

std::unique_ptr<ShellIntegration> makeSystemShell() {
    return std::make_unique<Win32Shell>(knownFolder(FOLDERID_Programs, CSIDL_PROGRAMS),
                                        knownFolder(FOLDERID_Desktop, CSIDL_DESKTOPDIRECTORY));
}

std::unique_ptr<ShellIntegration> makeShellBelow(const fs::path& root) {
    return std::make_unique<Win32Shell>(root / "Programs", root / "Desktop");
}

} // namespace pj::install
