#include "install/folders.h"

#include "install/product.h"

namespace pj::install {

FolderCheck checkInstallFolder(std::string_view utf8) {
    if (!passesPlatformRule(utf8))
        return {false, illegalPathNotice()};
    if (utf8.size() > kMaxInstallPathBytes)
        return {false, "安装目录太长（最多 " + std::to_string(kMaxInstallPathBytes) + " 字节）"};
    if (!isValidUtf8(utf8))
        return {false, illegalPathNotice()};
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return {false, "安装目录中含有控制字符"};
    }
    const fs::path p = pathFromUtf8(utf8);
    bool hasName = false;
    for (const auto& part : p.relative_path()) {
        const auto s = part.native();
        if (s == fs::path(".").native() || s == fs::path("..").native())
            return {false, "安装目录中不能含有 . 或 .."};
        if (!s.empty())
            hasName = true;
    }
    if (!hasName)
        return {false, "不能安装到根目录，请选择一个文件夹"};
    return {true, {}};
}

bool createFolderChain(const fs::path& folder, std::vector<fs::path>& created, std::string& error) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
        if (fs::exists(p, ec))
            break;
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (fs::create_directory(*it, ec))
            created.push_back(*it);
    }
    if (!fs::is_directory(folder, ec)) {
        error = "该目录不存在！";
        return false;
    }
    return true;
}

} // namespace pj::install
