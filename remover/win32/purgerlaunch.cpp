#include "remover/win32/purgerlaunch.h"

#include "install/files.h"
#include "install/product.h"

namespace pj::winremover {

std::wstring purgerCommandLine(const std::wstring& host, const std::wstring& purger,
                               const std::wstring& fileToDelete) {
    return L"\"" + host + L"\" \"" + purger + L"\",_MagicDel@16 " + fileToDelete;
}

std::wstring rundllPath() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    std::wstring host = std::wstring(folder) + L"\\rundll32.exe";
    if (GetFileAttributesW(host.c_str()) != INVALID_FILE_ATTRIBUTES)
        return host;
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\rundll32.exe";
}

bool launchPurger(const install::PayloadSource& source, const std::wstring& self,
                  std::string& error) {
    const install::fs::path folder = install::fs::path(self).parent_path();
    const install::fs::path purger = folder / install::pathFromUtf8(install::kPurgerFileName);
    const auto bytes = source.resource(install::kPurgerResource);
    if (!bytes) {
        error = "卸载程序不完整：缺少 purger.dll";
        return false;
    }
    if (!install::writeWholeFile(purger, *bytes, error))
        return false;
    const std::wstring host = rundllPath();
    std::wstring command = purgerCommandLine(host, purger.wstring(), self);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(host.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &pi)) {
        error = "无法启动 rundll32：" + install::utf8FromPath(host);
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace pj::winremover
