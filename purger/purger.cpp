// purger.dll: deletes the uninstaller's file once it has ended, then removes
// itself. rundll32 calls the entry with the rest of its command line, the
// full path of remover.exe (no quotes needed, spaces arrive whole):
//
//   rundll32.exe "<install folder>\purger.dll",_MagicDel@16 <install folder>\remover.exe
//
// 1. wait 2 s, so that the uninstaller, which starts this right before it
//    closes, has ended; 2. delete the given file (one attempt); 3. unload
//    this module, delete its file and end the process, in that order, from a
//    small stub in memory allocated outside the module, so that no
//    instruction of the unloaded module ever runs.
//
// Exports: "_MagicDel@16" (the command line in the ANSI code page) and
// "_MagicDel@16W", which rundll32 prefers and which gets the command line in
// UTF-16, so a path outside the ANSI code page arrives whole as well.
#include "purger/selfdelete.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace {

HMODULE g_module = nullptr;

// The command-line text as the path: surrounding blanks and one pair of
// quotes dropped.
template <typename Char> std::basic_string<Char> pathFromCommandLine(const Char* text) {
    std::basic_string<Char> s = text ? text : std::basic_string<Char>();
    const auto blank = [](Char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && blank(s[start]))
        ++start;
    s.erase(0, start);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

[[noreturn]] void finish() {
    std::wstring own(32768, L'\0');
    const DWORD n = GetModuleFileNameW(g_module, own.data(), static_cast<DWORD>(own.size()));
    own.resize(n < own.size() ? n : 0);
    pj::purger::unloadDeleteAndExit(g_module, own);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

void CALLBACK MagicDelA(HWND, HINSTANCE, LPSTR commandLine, int) {
    Sleep(2000);
    const std::string path = pathFromCommandLine(commandLine);
    if (!path.empty())
        DeleteFileA(path.c_str());
    finish();
}

void CALLBACK MagicDelW(HWND, HINSTANCE, LPWSTR commandLine, int) {
    Sleep(2000);
    const std::wstring path = pathFromCommandLine(commandLine);
    if (!path.empty())
        DeleteFileW(path.c_str());
    finish();
}

} // extern "C"
