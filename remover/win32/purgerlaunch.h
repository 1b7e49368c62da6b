#pragma once
// Handing the deletion of remover.exe to purger.dll: the carried purger is
// written beside remover.exe and started in rundll32 with remover.exe's full
// path; it deletes that file once remover has ended (about 2 s later) and
// then itself.

#include "install/payload.h"
#include "install/win32/winapi.h"

#include <string>

namespace pj::winremover {

// The rundll32 command line: the host in quotes, the purger's full path in
// quotes with its entry, then the path to delete without quotes (the host
// hands everything after the entry name to the purger as one text).
std::wstring purgerCommandLine(const std::wstring& host, const std::wstring& purger,
                               const std::wstring& fileToDelete);

// The host: rundll32.exe in the Windows folder, else in the system folder.
std::wstring rundllPath();

// Writes resource 100 of `source` as purger.dll beside `self` and starts
// the host. false with `error` when the purger cannot be written or started.
bool launchPurger(const install::PayloadSource& source, const std::wstring& self,
                  std::string& error);

} // namespace pj::winremover
