#pragma once
// Ending a process from inside a DLL that deletes its own file.

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pj::purger {

// Runs FreeLibrary(module), DeleteFileW(file), ExitProcess(0) from a stub in
// memory of its own: the unload returns into the stub, not into the module,
// so the module's file can be deleted afterwards. Never returns.
[[noreturn]] void unloadDeleteAndExit(HMODULE module, const std::wstring& file);

} // namespace pj::purger
