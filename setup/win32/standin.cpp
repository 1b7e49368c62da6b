// The PROJECTOR.exe that setup.exe carries when it is built before the
// Windows build of the product exists (see docs/installer.md): it says so,
// in a message box or, with --version, on its output.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    if (commandLine && std::wcsstr(commandLine, L"--version")) {
        const char text[] = "PROJECTOR " PJ_VERSION " (stand-in: setup.exe was built without the "
                            "Windows build of PROJECTOR)\n";
        DWORD done = 0;
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out && out != INVALID_HANDLE_VALUE)
            WriteFile(out, text, sizeof text - 1, &done, nullptr);
        return 0;
    }
    MessageBoxW(nullptr,
                L"此安装包构建时没有 Windows 版 PROJECTOR，这里安装的是占位程序。\n"
                L"请用包含 Windows 版 PROJECTOR 的安装包重新安装。",
                L"PROJECTOR", MB_OK | MB_ICONINFORMATION);
    return 1;
}
