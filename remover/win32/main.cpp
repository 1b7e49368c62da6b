// remover.exe (" 卸载程序"): removes the installation recorded in its own
// folder, then has purger.dll delete remover.exe. One window with the
// banner, a progress bar and "卸载"; "--silent" does the same without it,
// exit code 0 only when every recorded file is gone.
#include "install/removal.h"
#include "install/shell.h"
#include "install/silent.h"
#include "remover/win32/purgerlaunch.h"
#include "setup/win32/ids.h"
#include "setup/win32/look.h"

#include <commctrl.h>

#include <sstream>

namespace {

using namespace pj;

struct Remover {
    HINSTANCE instance = nullptr;
    std::wstring self;
    install::fs::path folder;
    std::unique_ptr<install::PayloadSource> source;
    std::unique_ptr<install::ShellIntegration> shell;
    HWND window = nullptr;
    HWND panel = nullptr;
    bool done = false;
};

Remover* g = nullptr;

std::string report(const install::RemovalOutcome& outcome) {
    std::string text;
    if (outcome.keptCatalogue)
        text += install::keptCatalogueMessage(*outcome.keptCatalogue) + "\n";
    for (const auto& p : outcome.problems)
        text += p + "\n";
    return text;
}

void uninstall() {
    if (g->done)
        return;
    g->done = true;
    EnableWindow(GetDlgItem(g->panel, IDC_UNINSTALL), FALSE);
    HWND bar = GetDlgItem(g->panel, IDC_REMOVE_PROGRESS);
    const install::RemovalOutcome outcome =
        install::removeInstallation(g->folder, *g->shell, [bar](int percent) {
            SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
            UpdateWindow(bar);
        });
    std::string text = report(outcome);
    std::string error;
    if (!winremover::launchPurger(*g->source, g->self, error))
        text += error + "\n";
    if (!text.empty())
        winsetup::showNotice(g->window, text, winsetup::Program::Remover);
    DestroyWindow(g->window);
}

INT_PTR CALLBACK panelProc(HWND panel, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(panel, IDC_REMOVE_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendDlgItemMessageW(panel, IDC_REMOVE_PROGRESS, PBM_SETSTEP, 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_UNINSTALL)
            uninstall();
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wp), RGB(42, 57, 110));
        return reinterpret_cast<INT_PTR>(winsetup::backgroundBrush());
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(panel, &ps);
        winsetup::paintFrame(panel, dc);
        RECT rc;
        GetClientRect(panel, &rc);
        RECT white{rc.left + 3, rc.top, rc.right - 3, 80};
        FillRect(dc, &white, winsetup::whiteBrush());
        EndPaint(panel, &ps);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        g->window = window;
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        g->panel =
            CreateDialogParamW(g->instance, MAKEINTRESOURCEW(IDD_HOST), window, panelProc, 0);
        RECT pr;
        GetWindowRect(g->panel, &pr);
        SetWindowPos(window, nullptr, 0, 0, pr.right - pr.left,
                     pr.bottom - pr.top + winsetup::kCaptionHeight, SWP_NOMOVE | SWP_NOZORDER);
        SetWindowPos(g->panel, nullptr, 0, winsetup::kCaptionHeight, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(g->panel, SW_SHOW);
        winsetup::createCaption(window, winsetup::Program::Remover, winsetup::Kind::MainWindow);
        return 0;
    }
    case WM_SHOWWINDOW:
        winsetup::centreOnScreen(window);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window, msg, wp, lp);
}

std::wstring ownPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    std::string error;
    const auto parsed = install::parseRemoverArgs(winsetup::commandLineArguments(), error);
    if (!parsed) {
        winsetup::writeError(error + "\n" + install::removerUsage());
        return 2;
    }
    if (parsed->help) {
        winsetup::writeOutput(install::removerUsage());
        return 0;
    }
    Remover remover;
    g = &remover;
    remover.instance = instance;
    remover.self = ownPath();
    remover.folder = install::fs::path(remover.self).parent_path();
    remover.source = install::openOwnPayload(error);
    remover.shell = install::makeSystemShell();
    if (parsed->silent) {
        std::ostringstream err;
        int rc = install::runSilentRemove(remover.folder, *remover.shell, err);
        if (!winremover::launchPurger(*remover.source, remover.self, error)) {
            err << error << '\n';
            rc = 1;
        }
        winsetup::writeError(err.str());
        return rc;
    }

    winsetup::registerLook(instance);
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = winsetup::backgroundBrush();
    wc.lpszClassName = L"Qr";
    if (!RegisterClassW(&wc))
        return 0;
    HWND window = CreateWindowExW(0, L"Qr", L" 卸载程序", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 400, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (remover.panel && IsDialogMessageW(remover.panel, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
