#include "link/serialport.h"

#include <algorithm>

#include "link/win32/winapi.h"

namespace pj::link {

// The serial ports Windows knows of are the values under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value a port, its data the port's
// name ("COM3"). The key is missing on a machine without any port.
std::vector<std::string> availablePorts(std::span<const std::string> extra) {
    std::vector<std::string> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char valueName[256];
            DWORD valueNameLen = sizeof valueName;
            BYTE data[256];
            DWORD dataLen = sizeof data - 1;
            DWORD type = 0;
            const LONG rc =
                RegEnumValueA(key, index, valueName, &valueNameLen, nullptr, &type, data, &dataLen);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS)
                continue; // an oversized entry; the others still count
            if (type != REG_SZ)
                continue;
            data[dataLen] = 0;
            std::string name(reinterpret_cast<const char*>(data));
            while (!name.empty() && name.back() == '\0')
                name.pop_back();
            if (!name.empty() && std::find(found.begin(), found.end(), name) == found.end())
                found.push_back(name);
        }
        RegCloseKey(key);
    }
    std::sort(found.begin(), found.end(), naturalLess);
    for (const auto& name : extra) {
        if (!name.empty() && std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    }
    return found;
}

// Windows answers "access denied" for a port another program holds, which is
// reported as busy; it has no per-user rights on serial ports to explain, and
// does not tell which program holds one.
std::string permissionHelp(const std::string&) {
    return {};
}

std::string portHolder(const std::string&) {
    return {};
}

std::string portShortName(const std::string& port) {
    return port;
}

std::string portFromShortName(const std::string& text) {
    return text;
}

} // namespace pj::link
