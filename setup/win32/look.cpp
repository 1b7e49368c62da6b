#include "setup/win32/look.h"

#include "setup/win32/ids.h"

#include <shellapi.h>

#include <vector>

namespace pj::winsetup {

namespace {

HINSTANCE g_instance = nullptr;
constexpr wchar_t kCaptionClass[] = L"PjCompactCaption";

struct CaptionState {
    Program program;
    Kind kind;
    HBITMAP close;
    HBITMAP minimise;
    HICON icon;
    bool dragging;
};

RECT closeRect(const CaptionState& s, int width) {
    const bool setup = s.program == Program::Setup;
    const int side = setup ? 14 : 10;
    const int top = setup ? 5 : 7;
    return {width - 20, top, width - 20 + side, top + side};
}

RECT minimiseRect(const CaptionState& s, int width) {
    const bool setup = s.program == Program::Setup;
    const int side = setup ? 14 : 10;
    const int top = setup ? 5 : 7;
    const int left = setup ? width - 38 : width - 35;
    return {left, top, left + side, top + side};
}

void drawBitmap(HDC dc, HBITMAP bitmap, const RECT& r) {
    if (!bitmap)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void paintCaption(HWND strip, CaptionState& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(strip, &ps);
    RECT rc;
    GetClientRect(strip, &rc);
    HBRUSH fill = CreateSolidBrush(kCaption);
    FillRect(dc, &rc, fill);
    DeleteObject(fill);
    std::wstring title = windowText(GetParent(strip));
    const std::size_t limit = s.program == Program::Setup ? 49 : 19;
    if (title.size() > limit)
        title.resize(limit);
    // The Hei face's em is its character cell, 15 pixels; its natural width
    // is the 7-pixel average of the look (a forced width would squeeze the
    // faces that stand in for it where it is missing).
    HFONT font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"黑体");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWhite);
    TextOutW(dc, 24, 4, title.c_str(), static_cast<int>(title.size()));
    SelectObject(dc, oldFont);
    DeleteObject(font);
    if (s.icon)
        DrawIconEx(dc, 4, 3, s.icon, 10, 10, 0, nullptr, DI_NORMAL);
    drawBitmap(dc, s.close, closeRect(s, rc.right));
    if (s.kind == Kind::MainWindow)
        drawBitmap(dc, s.minimise, minimiseRect(s, rc.right));
    EndPaint(strip, &ps);
}

LRESULT CALLBACK captionProc(HWND strip, UINT msg, WPARAM wp, LPARAM lp) {
    auto* s = reinterpret_cast<CaptionState*>(GetWindowLongPtrW(strip, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(strip, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_PAINT:
        if (s) {
            paintCaption(strip, *s);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        RECT rc;
        GetClientRect(strip, &rc);
        const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        const RECT c = closeRect(*s, rc.right);
        const RECT m = minimiseRect(*s, rc.right);
        if (PtInRect(&c, p) || PtInRect(&m, p))
            return 0; // a click: acted on at the release
        // Anywhere else the strip drags its window.
        ReleaseCapture();
        SendMessageW(GetAncestor(strip, GA_ROOT), WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    }
    case WM_LBUTTONUP: {
        RECT rc;
        GetClientRect(strip, &rc);
        const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        const RECT c = closeRect(*s, rc.right);
        const RECT m = minimiseRect(*s, rc.right);
        HWND top = GetAncestor(strip, GA_ROOT);
        if (PtInRect(&c, p))
            PostMessageW(GetParent(strip), WM_CLOSE, 0, 0);
        else if (PtInRect(&m, p) && s->kind == Kind::MainWindow)
            ShowWindow(top, SW_MINIMIZE);
        return 0;
    }
    case WM_NCDESTROY:
        if (s) {
            DeleteObject(s->close);
            DeleteObject(s->minimise);
            DestroyIcon(s->icon);
            delete s;
            SetWindowLongPtrW(strip, GWLP_USERDATA, 0);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(strip, msg, wp, lp);
}

HANDLE errorHandle(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE)
        return h;
    if (AttachConsole(ATTACH_PARENT_PROCESS))
        return CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    return nullptr;
}

void writeTo(DWORD which, std::string_view text) {
    HANDLE h = errorHandle(which);
    if (!h || h == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring w = wide(text);
        WriteConsoleW(h, w.c_str(), static_cast<DWORD>(w.size()), &done, nullptr);
    } else {
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    }
}

// Dialog 139 and 125 share their look; their procedures differ in commands.
struct NoticeArgs {
    std::wstring text;
    Program program;
};

INT_PTR CALLBACK noticeProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (INT_PTR r = 0; skinnedDialogMessage(dlg, msg, wp, r))
        return r;
    switch (msg) {
    case WM_INITDIALOG: {
        auto* args = reinterpret_cast<NoticeArgs*>(lp);
        initDialog(dlg, L"提示", args->program);
        SetDlgItemTextW(dlg, IDC_NOTICE_TEXT, args->text.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_NOTICE_OK || LOWORD(wp) == IDOK)
            EndDialog(dlg, 1);
        else if (LOWORD(wp) == IDCANCEL)
            EndDialog(dlg, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK exitProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (INT_PTR r = 0; skinnedDialogMessage(dlg, msg, wp, r))
        return r;
    switch (msg) {
    case WM_INITDIALOG:
        initDialog(dlg, L"退出程序", Program::Setup);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_EXIT_EXIT)
            EndDialog(dlg, 1);
        else if (LOWORD(wp) == IDC_EXIT_CANCEL || LOWORD(wp) == IDCANCEL)
            EndDialog(dlg, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void registerLook(HINSTANCE instance) {
    g_instance = instance;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = captionProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kCaptionClass;
    RegisterClassW(&wc);
}

HWND createCaption(HWND window, Program program, Kind kind) {
    RECT rc;
    GetClientRect(window, &rc);
    auto* s =
        new CaptionState{program,
                         kind,
                         static_cast<HBITMAP>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDB_CLOSE),
                                                         IMAGE_BITMAP, 0, 0, 0)),
                         static_cast<HBITMAP>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDB_MINIMISE),
                                                         IMAGE_BITMAP, 0, 0, 0)),
                         static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                       IMAGE_ICON, 18, 18, 0)),
                         false};
    HWND strip = CreateWindowExW(0, kCaptionClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, rc.right,
                                 kCaptionHeight, window, nullptr, g_instance, s);
    SetWindowPos(strip, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RECT wr;
    GetWindowRect(window, &wr);
    SetWindowRgn(window,
                 CreateRoundRectRgn(0, 0, wr.right - wr.left + 1, wr.bottom - wr.top + 1, 4, 4),
                 TRUE);
    return strip;
}

HBRUSH backgroundBrush() {
    static HBRUSH b = CreateSolidBrush(kBackground);
    return b;
}

HBRUSH whiteBrush() {
    static HBRUSH b = CreateSolidBrush(kWhite);
    return b;
}

void paintFrame(HWND window, HDC dc) {
    RECT rc;
    GetClientRect(window, &rc);
    FillRect(dc, &rc, backgroundBrush());
    DrawEdge(dc, &rc, EDGE_RAISED, BF_LEFT | BF_RIGHT | BF_BOTTOM);
}

void paintFrameOnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paintFrame(window, dc);
    EndPaint(window, &ps);
}

bool skinnedDialogMessage(HWND dialog, UINT msg, WPARAM wp, INT_PTR& result) {
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        result = reinterpret_cast<INT_PTR>(backgroundBrush());
        return true;
    case WM_PAINT:
        paintFrameOnPaint(dialog);
        result = TRUE;
        return true;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void centreOnScreen(HWND window) {
    RECT wr;
    GetWindowRect(window, &wr);
    const int w = wr.right - wr.left;
    const int h = wr.bottom - wr.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void initDialog(HWND dialog, const std::wstring& title, Program program) {
    SetWindowTextW(dialog, title.c_str());
    createCaption(dialog, program, Kind::Dialog);
    centreOnScreen(dialog);
}

int showNotice(HWND owner, std::string_view text, Program program) {
    NoticeArgs args{wide(text), program};
    return static_cast<int>(DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_NOTICE), owner,
                                            noticeProc, reinterpret_cast<LPARAM>(&args)));
}

int askExit(HWND owner) {
    return static_cast<int>(
        DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_EXIT), owner, exitProc, 0));
}

std::wstring wide(std::string_view text) {
    return install::win32::wideFromUtf8(text);
}

std::string utf8(const std::wstring& w) {
    return install::win32::utf8FromWide(w);
}

std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(window, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

std::vector<std::string> commandLineArguments() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> out;
    for (int i = 1; argv && i < argc; ++i)
        out.push_back(utf8(argv[i]));
    LocalFree(argv);
    return out;
}

void writeError(std::string_view text) {
    writeTo(STD_ERROR_HANDLE, text);
}

void writeOutput(std::string_view text) {
    writeTo(STD_OUTPUT_HANDLE, text);
}

} // namespace pj::winsetup
