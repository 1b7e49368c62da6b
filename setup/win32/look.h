#pragma once
// The setup look for the Win32 setup.exe and remover.exe: the compact caption
// strip (24 px, flat caption blue, white "黑体" title, program icon, close and
// minimise pictures), the rounded outline, the frame painting (grey body,
// raised edge left, right and bottom), centring, the notice and exit
// dialogs, and writing to the error stream for the silent mode.

#include "install/win32/winapi.h"

#include <string>
#include <string_view>
#include <vector>

namespace pj::winsetup {

enum class Program { Setup, Remover };
enum class Kind { Dialog, MainWindow };

inline constexpr COLORREF kBackground = RGB(232, 232, 232);
inline constexpr COLORREF kCaption = RGB(71, 115, 225);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kHeading = RGB(4, 60, 120);
inline constexpr int kCaptionHeight = 24;

// Registers the caption strip's window class; once per process.
void registerLook(HINSTANCE instance);
// Creates the strip on `window` (its title is drawn) and gives the window
// the rounded outline. The strip forwards a click on close as WM_CLOSE and
// on minimise (main window only) minimises.
HWND createCaption(HWND window, Program program, Kind kind);

// Grey and white brushes, made once.
HBRUSH backgroundBrush();
HBRUSH whiteBrush();

// Fills the client area grey and draws the raised edge on the left, right
// and bottom sides.
void paintFrame(HWND window, HDC dc);
// A WM_PAINT handler doing paintFrame.
void paintFrameOnPaint(HWND window);
// The messages every plain skinned dialog answers alike: its static texts on
// the grey body, its frame painted, closing it as a cancel (EndDialog 0).
// True when `msg` was one of them; `result` is then the procedure's answer.
bool skinnedDialogMessage(HWND dialog, UINT msg, WPARAM wp, INT_PTR& result);
// Centres a top-level window on the primary screen (remainder dropped).
void centreOnScreen(HWND window);

// The skinned-dialog start: title, caption strip, centred.
void initDialog(HWND dialog, const std::wstring& title, Program program);

// Dialog 139 ("提示"): the text (UTF-8) and "Ok". Returns 1 for "Ok".
int showNotice(HWND owner, std::string_view utf8, Program program);
// Dialog 125 ("退出程序"): 1 for "退出", 0 for "取消" or closed.
int askExit(HWND owner);

// Text helpers.
std::wstring wide(std::string_view utf8);
std::string utf8(const std::wstring& w);
std::wstring windowText(HWND window);

// The command line as UTF-8 arguments, without the program name.
std::vector<std::string> commandLineArguments();
// Writes UTF-8 text to the error stream (or the console of the parent
// process when the program has none).
void writeError(std::string_view utf8);
void writeOutput(std::string_view utf8);

} // namespace pj::winsetup
