#include "setup/win32/wizard.h"

#include "install/product.h"
#include "install/wizard.h"
#include "setup/win32/ids.h"
#include "setup/win32/look.h"

#include <commctrl.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

namespace pj::winsetup {

namespace {

using install::WizardLogic;

constexpr UINT kProgressMessage = WM_APP + 1; // wParam: percent
constexpr UINT kEndedMessage = WM_APP + 2;    // the worker's outcome is ready

// The wizard's process-wide state, owned by runWizard.
struct Wizard {
    WizardContext ctx;
    std::optional<WizardLogic> logic;
    HWND window = nullptr;
    HWND host = nullptr;
    HWND page = nullptr;
    HWND banner = nullptr;
    std::atomic<bool> cancel{false};
    std::thread worker;
    std::mutex outcomeMutex;
    std::optional<install::InstallOutcome> outcome;
    bool closeAllowed = false;
};

Wizard* g = nullptr;

INT_PTR CALLBACK pageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);

int dialogIdOf(WizardLogic::Step step) {
    switch (step) {
    case WizardLogic::Step::Welcome:
        return IDD_WELCOME;
    case WizardLogic::Step::Licence:
        return IDD_LICENCE;
    case WizardLogic::Step::Folder:
        return IDD_FOLDER;
    case WizardLogic::Step::Shortcut:
        return IDD_SHORTCUT;
    case WizardLogic::Step::Copying:
        return IDD_COPYING;
    case WizardLogic::Step::Finished:
        break;
    }
    return 0;
}

INT_PTR CALLBACK bannerProc(HWND dlg, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CLOSE) {
        DestroyWindow(dlg);
        return TRUE;
    }
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

void closeProgram() {
    g->closeAllowed = true;
    PostMessageW(g->window, WM_CLOSE, 0, 0);
}

// Shows the page, banner and buttons of the logic's view; every visit makes
// the page afresh.
void showStep() {
    const WizardLogic::View v = g->logic->view();
    if (g->page) {
        DestroyWindow(g->page);
        g->page = nullptr;
    }
    if (v.banner && !g->banner) {
        g->banner = CreateDialogParamW(g->ctx.instance, MAKEINTRESOURCEW(IDD_BANNER), g->host,
                                       bannerProc, 0);
        ShowWindow(g->banner, SW_SHOW);
    } else if (!v.banner && g->banner) {
        DestroyWindow(g->banner);
        g->banner = nullptr;
    }
    if (const int id = dialogIdOf(v.step)) {
        g->page = CreateDialogParamW(g->ctx.instance, MAKEINTRESOURCEW(id), g->host, pageProc, 0);
        ShowWindow(g->page, SW_SHOW);
        UpdateWindow(g->page);
    }
    ShowWindow(GetDlgItem(g->host, IDC_BACK), v.backVisible ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(g->host, IDC_NEXT), v.nextVisible ? SW_SHOW : SW_HIDE);
    EnableWindow(GetDlgItem(g->host, IDC_NEXT), v.nextEnabled);
    SetDlgItemTextW(g->host, IDC_NEXT, wide(v.nextText).c_str());
}

std::string pageText(int id) {
    HWND control = g->page ? GetDlgItem(g->page, id) : nullptr;
    return control ? utf8(windowText(control)) : std::string();
}

WizardLogic::PageValues pageValues() {
    WizardLogic::PageValues v;
    v.folderText = pageText(IDC_FOLDER_EDIT);
    v.shortcutName = pageText(IDC_SHORTCUT_NAME);
    HWND box = g->page ? GetDlgItem(g->page, IDC_DESKTOP) : nullptr;
    v.desktop = box && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return v;
}

void startInstall() {
    g->cancel = false;
    const install::InstallOptions options = g->logic->installOptions();
    HWND host = g->host;
    g->worker = std::thread([options, host] {
        install::Installer installer(*g->ctx.source, g->ctx.payload, *g->ctx.shell);
        install::InstallOutcome outcome = installer.run(options, g->cancel, [host](int percent) {
            PostMessageW(host, kProgressMessage, static_cast<WPARAM>(percent), 0);
        });
        {
            std::lock_guard lock(g->outcomeMutex);
            g->outcome = std::move(outcome);
        }
        PostMessageW(host, kEndedMessage, 0, 0);
    });
}

void handle(const WizardLogic::Outcome& o) {
    switch (o.action) {
    case WizardLogic::Action::None:
        break;
    case WizardLogic::Action::ShowStep:
        showStep();
        break;
    case WizardLogic::Action::AskExit:
        if (askExit(g->host) == 1)
            closeProgram();
        break;
    case WizardLogic::Action::Notice:
        showNotice(g->host, o.notice, Program::Setup);
        if (g->logic->step() == WizardLogic::Step::Finished)
            closeProgram();
        break;
    case WizardLogic::Action::StartInstall:
        showStep();
        startInstall();
        break;
    case WizardLogic::Action::RequestCancel:
        g->cancel = true;
        break;
    case WizardLogic::Action::Close:
        closeProgram();
        break;
    }
}

void installEnded() {
    if (g->worker.joinable())
        g->worker.join();
    install::InstallOutcome outcome;
    {
        std::lock_guard lock(g->outcomeMutex);
        outcome = *g->outcome;
    }
    if (outcome.status == install::InstallOutcome::Status::Installed && !outcome.notes.empty()) {
        std::string notes;
        for (const auto& n : outcome.notes)
            notes += n + "\n";
        showNotice(g->host, notes, Program::Setup);
    }
    handle(g->logic->installEnded(outcome));
}

void browse() {
    g->logic->browseFrom(pageText(IDC_FOLDER_EDIT));
    const auto chosen = browseForFolder(g->ctx.instance, g->host, wide(g->logic->installPath()));
    if (!chosen)
        return;
    if (const auto problem = g->logic->browserAccepted(utf8(*chosen))) {
        showNotice(g->host, *problem, Program::Setup);
        return;
    }
    SetDlgItemTextW(g->page, IDC_FOLDER_EDIT, wide(g->logic->installPath()).c_str());
}

void paintWelcome(HWND page) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(page, &ps);
    RECT rc;
    GetClientRect(page, &rc);
    FillRect(dc, &rc, whiteBrush());
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"黑体");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kHeading);
    const wchar_t heading[] = L"欢迎使用 中控软件 安装向导";
    TextOutW(dc, 215, 30, heading, static_cast<int>(std::size(heading) - 1));
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(page, &ps);
}

INT_PTR CALLBACK pageProc(HWND page, UINT msg, WPARAM wp, LPARAM) {
    const WizardLogic::Step step = g->logic->step();
    switch (msg) {
    case WM_INITDIALOG:
        switch (step) {
        case WizardLogic::Step::Licence: {
            const std::wstring text = loadLicenceText(*g->ctx.source, g->ctx.startFolder);
            SetDlgItemTextW(page, IDC_LICENCE_TEXT, text.c_str());
            CheckRadioButton(page, IDC_ACCEPT, IDC_DECLINE,
                             g->logic->licenceAccepted() ? IDC_ACCEPT : IDC_DECLINE);
            break;
        }
        case WizardLogic::Step::Folder:
            SetDlgItemTextW(page, IDC_FOLDER_EDIT, wide(g->logic->installPath()).c_str());
            break;
        case WizardLogic::Step::Shortcut:
            SetDlgItemTextW(page, IDC_SHORTCUT_NAME, wide(g->logic->shortcutName()).c_str());
            CheckDlgButton(page, IDC_DESKTOP, BST_CHECKED);
            break;
        case WizardLogic::Step::Copying:
            SendDlgItemMessageW(page, IDC_COPY_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendDlgItemMessageW(page, IDC_COPY_PROGRESS, PBM_SETSTEP, 1, 0);
            break;
        default:
            break;
        }
        return TRUE;
    case WM_COMMAND:
        if (step == WizardLogic::Step::Licence &&
            (LOWORD(wp) == IDC_ACCEPT || LOWORD(wp) == IDC_DECLINE)) {
            g->logic->chooseLicence(LOWORD(wp) == IDC_ACCEPT);
            EnableWindow(GetDlgItem(g->host, IDC_NEXT), g->logic->view().nextEnabled);
        } else if (step == WizardLogic::Step::Folder && LOWORD(wp) == IDC_BROWSE) {
            browse();
        }
        return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(step == WizardLogic::Step::Welcome ? whiteBrush()
                                                                            : backgroundBrush());
    case WM_PAINT:
        if (step == WizardLogic::Step::Welcome) {
            paintWelcome(page);
        } else {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(page, &ps);
            FillRect(dc, &ps.rcPaint, backgroundBrush());
            EndPaint(page, &ps);
        }
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(page);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK hostProc(HWND host, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        g->host = host;
        showStep();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_NEXT:
            handle(g->logic->next(pageValues()));
            break;
        case IDC_BACK:
            handle(g->logic->back());
            break;
        case IDC_CANCEL:
        case IDCANCEL:
            handle(g->logic->cancel());
            break;
        default:
            break;
        }
        return TRUE;
    case kProgressMessage:
        if (g->page)
            SendDlgItemMessageW(g->page, IDC_COPY_PROGRESS, PBM_SETPOS, wp, 0);
        return TRUE;
    case kEndedMessage:
        installEnded();
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(backgroundBrush());
    case WM_PAINT:
        paintFrameOnPaint(host);
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        g->window = window;
        INITCOMMONCONTROLSEX icc{sizeof icc,
                                 ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        HWND host =
            CreateDialogParamW(g->ctx.instance, MAKEINTRESOURCEW(IDD_HOST), window, hostProc, 0);
        RECT hr;
        GetWindowRect(host, &hr);
        SetWindowPos(window, nullptr, 0, 0, hr.right - hr.left, hr.bottom - hr.top + kCaptionHeight,
                     SWP_NOMOVE | SWP_NOZORDER);
        SetWindowPos(host, nullptr, 0, kCaptionHeight, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(host, SW_SHOW);
        createCaption(window, Program::Setup, Kind::MainWindow);
        return 0;
    }
    case WM_SHOWWINDOW:
        centreOnScreen(window);
        break;
    case WM_CLOSE:
        if (!g->closeAllowed) {
            const WizardLogic::Outcome o = g->logic->closeRequested();
            if (o.action == WizardLogic::Action::RequestCancel) {
                // Closing while copying is a cancel: the window stays for the
                // rollback and closes when the worker has ended.
                g->cancel = true;
                return 0;
            }
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (g->page)
            DestroyWindow(g->page);
        g->page = nullptr;
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

std::wstring decodeText(const std::string& bytes) {
    std::string_view b = bytes;
    if (b.substr(0, 3) == "\xEF\xBB\xBF")
        return wide(b.substr(3));
    if (install::isValidUtf8(b))
        return wide(b);
    const auto text = install::ansiToUtf8(b);
    return text ? wide(*text) : std::wstring();
}

} // namespace

std::wstring loadLicenceText(const install::PayloadSource& source,
                             const std::wstring& startFolder) {
    std::ifstream readme(install::fs::path(startFolder) / L"readme.txt", std::ios::binary);
    std::string bytes;
    if (readme) {
        bytes.assign(std::istreambuf_iterator<char>(readme), std::istreambuf_iterator<char>());
    } else if (const auto res = source.resource(install::kLicenceResource)) {
        bytes.assign(reinterpret_cast<const char*>(res->data()), res->size());
    }
    // The edit control wants CR LF line ends.
    std::wstring text = decodeText(bytes);
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            out += L'\r';
        out += text[i];
    }
    return out;
}

int runWizard(WizardContext context, int show) {
    Wizard wizard;
    wizard.ctx = std::move(context);
    wizard.logic.emplace(wizard.ctx.defaultFolder, [&wizard](const install::InstallOptions& o) {
        install::Installer installer(*wizard.ctx.source, wizard.ctx.payload, *wizard.ctx.shell);
        return installer.check(o);
    });
    g = &wizard;
    registerLook(wizard.ctx.instance);
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = wizard.ctx.instance;
    wc.hIcon = LoadIconW(wizard.ctx.instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = backgroundBrush();
    wc.lpszClassName = L"Qr";
    if (!RegisterClassW(&wc))
        return 0;
    const std::wstring title = wide(install::kSetupTitle);
    HWND window = CreateWindowExW(0, L"Qr", title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 400, nullptr, nullptr,
                                  wizard.ctx.instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (wizard.host && IsDialogMessageW(wizard.host, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    wizard.cancel = true;
    if (wizard.worker.joinable())
        wizard.worker.join();
    g = nullptr;
    return 0;
}

} // namespace pj::winsetup
