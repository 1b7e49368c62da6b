// Windows: drive roots, the Program Files folder on the Windows drive.
#include "install/folders.h"
#include "install/product.h"
#include "install/win32/winapi.h"

namespace pj::install {

std::string defaultInstallFolder() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    char drive = 'C';
    if (n > 0 && windows[0] < 0x80 && windows[1] == L':')
        drive = static_cast<char>(windows[0]);
    return std::string(1, drive) + ":\\Program Files\\" + std::string(kProductTitle);
}

std::string illegalPathNotice() {
    return "使用非法路径，正常路径如：C:\\";
}

std::vector<std::string> driveRoots() {
    // Room for all 26 drive roots ("X:\" and terminator each) and the end mark.
    wchar_t buffer[26 * 4 + 2] = {};
    const DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)), buffer);
    std::vector<std::string> out;
    if (n == 0 || n >= std::size(buffer))
        return out;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1)
        out.push_back(win32::utf8FromWide(p));
    return out;
}

bool passesPlatformRule(std::string_view utf8) {
    // Only the first three bytes are judged: the root of an existing drive,
    // letter in either case, colon, backslash.
    if (utf8.size() < 3)
        return false;
    std::string head(utf8.substr(0, 3));
    if (head[0] >= 'a' && head[0] <= 'z')
        head[0] = static_cast<char>(head[0] - 32);
    for (const auto& root : driveRoots()) {
        if (root == head)
            return true;
    }
    return false;
}

bool pathTextEqual(const fs::path::string_type& a, const fs::path::string_type& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace pj::install

// The platform's program files.
#include "install/files.h"

namespace pj::install {

std::FILE* openFileForWriting(const fs::path& file) {
    return _wfopen(file.c_str(), L"wb");
}

void markExecutable(const fs::path&) {}

std::string_view removerFileName() {
    return "remover.exe";
}

} // namespace pj::install
