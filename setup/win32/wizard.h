#pragma once
// The Win32 setup wizard: SetupWindow (class "Qr", "多媒体集中控制系统"),
// the wizard host (dialog 120) with its buttons, the pages (121, 123, 126,
// 128, 130), the banner (138) and the install worker. What shows on each
// step and what the buttons do come from the wizard logic of the install
// core (install/wizard.h), shared with the POSIX setup.

#include "install/installer.h"
#include "install/win32/winapi.h"

#include <string>

namespace pj::winsetup {

struct WizardContext {
    HINSTANCE instance = nullptr;
    const install::PayloadSource* source = nullptr;
    std::vector<install::PayloadEntry> payload;
    install::ShellIntegration* shell = nullptr;
    std::string defaultFolder;
    std::wstring startFolder; // where a "readme.txt" replaces the licence
};

// Runs the wizard until its window closes; the exit code (0).
int runWizard(WizardContext context, int show);

// Opens the folder browser (dialog 131) over `owner` with `start` in its
// path field. The path field's text after "确定", nullopt after "取消".
std::optional<std::wstring> browseForFolder(HINSTANCE instance, HWND owner,
                                            const std::wstring& start);

// The licence text: "readme.txt" in `startFolder` when it exists, else the
// carried resource 129; UTF-8 (with or without its mark) or the ANSI code
// page. Shown whole.
std::wstring loadLicenceText(const install::PayloadSource& source, const std::wstring& startFolder);

} // namespace pj::winsetup
