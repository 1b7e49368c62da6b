// POSIX: absolute paths, a user's home folder or /opt for root.
#include "install/folders.h"
#include "install/product.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace pj::install {

namespace {

std::string homeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h == '/')
        return h;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string withoutTrailingSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

} // namespace

std::string defaultInstallFolder() {
    if (geteuid() == 0)
        return "/opt/" + std::string(kProductTitle);
    const std::string home = withoutTrailingSlash(homeFolder());
    return (home == "/" ? std::string() : home) + "/" + std::string(kProductTitle);
}

std::string illegalPathNotice() {
    const std::string example =
        geteuid() == 0 ? std::string("/opt/") : withoutTrailingSlash(homeFolder()) + "/";
    return "使用非法路径，正常路径如：" + (example == "//" ? std::string("/opt/") : example);
}

bool passesPlatformRule(std::string_view utf8) {
    return !utf8.empty() && utf8.front() == '/';
}

std::vector<std::string> driveRoots() {
    return {};
}

bool pathTextEqual(const fs::path::string_type& a, const fs::path::string_type& b) {
    return a == b;
}

} // namespace pj::install

// The platform's program files.
#include "install/files.h"

#include <sys/stat.h>

namespace pj::install {

std::FILE* openFileForWriting(const fs::path& file) {
    return std::fopen(file.c_str(), "wb");
}

void markExecutable(const fs::path& file) {
    ::chmod(file.c_str(), 0755);
}

std::string_view removerFileName() {
    return "remover";
}

} // namespace pj::install
