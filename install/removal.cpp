#include "install/removal.h"

#include "install/digest.h"
#include "install/files.h"
#include "install/folders.h"
#include "install/product.h"
#include "install/record.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

namespace pj::install {

namespace {

bool hasDotComponent(const fs::path& p) {
    for (const auto& part : p) {
        if (part.native() == fs::path(".").native() || part.native() == fs::path("..").native())
            return true;
    }
    return false;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The real location of `folder` (links resolved), or nullopt.
std::optional<fs::path> realFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(folder, ec);
    if (ec)
        return std::nullopt;
    return real;
}

} // namespace

std::string keptCatalogueMessage(const fs::path& file) {
    return "型号库 projector.mdb 在安装后修改过，已保留在：" + utf8FromPath(file);
}

RemovalOutcome removeInstallation(const fs::path& installFolderIn, const ShellIntegration& shell,
                                  const std::function<void(int)>& progress) {
    RemovalOutcome out;
    fs::path installFolder = fs::absolute(installFolderIn).lexically_normal();
    while (!installFolder.has_filename() && installFolder.has_relative_path())
        installFolder = installFolder.parent_path();
    const fs::path recordFile = installFolder / pathFromUtf8(kRecordFileName);
    const fs::path digestFile = installFolder / pathFromUtf8(kDigestFileName);
    const auto record = readRecord(recordFile);
    if (!record) {
        out.problems.push_back("找不到安装记录：" + utf8FromPath(recordFile));
        return out;
    }
    out.recordFound = true;
    out.problems = record->problems;
    const DigestList digests = parseDigestList(readText(digestFile));
    const bool groupOk = record->hasGroup && isPlainGroupName(record->group);
    if (record->hasGroup && !groupOk)
        out.problems.push_back("安装记录第一行不是有效的程序组名，程序组保留");
    const auto realInstall = realFolder(installFolder);

    std::set<fs::path> emptiedFolders;
    const std::size_t total = record->files.size();
    for (std::size_t n = 0; n < total; ++n) {
        const std::string& line = record->files[n];
        const fs::path p = pathFromUtf8(line).make_preferred();
        if (progress)
            progress(static_cast<int>((n + 1) * 100 / total));
        const bool plain = p.is_absolute() && !hasDotComponent(p);
        const bool inside = plain && isStrictlyInside(p, installFolder);
        const bool shortcut = plain && !inside && groupOk && shell.mayHaveMade(p, record->group);
        if (!inside && !shortcut) {
            out.problems.push_back("不是安装程序创建的文件，已跳过：" + line);
            continue;
        }
        if (inside) {
            // A folder inside that is a link out of it does not count as inside.
            const auto realParent = realFolder(p.parent_path());
            if (!realInstall || !realParent ||
                !(samePath(*realParent, *realInstall) ||
                  isStrictlyInside(*realParent, *realInstall))) {
                out.problems.push_back("路径经过符号链接指向安装目录之外，已跳过：" + line);
                continue;
            }
        }
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (!fs::exists(st))
            continue; // already gone: nothing to do
        if (fs::is_symlink(st)) {
            out.problems.push_back("是符号链接，已跳过：" + line);
            continue;
        }
        if (!fs::is_regular_file(st)) {
            out.problems.push_back("不是普通文件，已跳过：" + line);
            continue;
        }
        if (shortcut && !shell.belongsTo(p, installFolder)) {
            out.problems.push_back("快捷方式不指向安装目录，已跳过：" + line);
            continue;
        }
        if (inside && samePath(p.parent_path(), installFolder) &&
            pathTextEqual(p.filename().native(), pathFromUtf8(kCatalogueFileName).native())) {
            const auto it = digests.find(std::string(kCatalogueFileName));
            const auto now = sha256OfFile(p);
            if (it == digests.end() || !now || *now != it->second) {
                out.keptCatalogue = p;
                continue;
            }
        }
        if (!fs::remove(p, ec) || ec) {
            out.problems.push_back("无法删除：" + line + (ec ? "（" + ec.message() + "）" : ""));
            continue;
        }
        out.deleted.push_back(p);
        if (inside && !samePath(p.parent_path(), installFolder))
            emptiedFolders.insert(p.parent_path());
    }
    if (progress && total == 0)
        progress(100);

    std::error_code ec;
    fs::remove(recordFile, ec);
    fs::remove(digestFile, ec);

    // Folders inside the install folder left empty (plugins/, platforms/),
    // deepest first, each parent in turn up to the install folder.
    std::vector<fs::path> folders(emptiedFolders.begin(), emptiedFolders.end());
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
    });
    for (fs::path f : folders) {
        while (isStrictlyInside(f, installFolder) && fs::is_empty(f, ec) && !ec) {
            if (!fs::remove(f, ec))
                break;
            f = f.parent_path();
        }
    }

    if (groupOk) {
        if (const auto group = shell.groupFolder(record->group)) {
            const fs::file_status st = fs::symlink_status(*group, ec);
            if (fs::is_directory(st) && !fs::is_symlink(st) && fs::is_empty(*group, ec))
                out.groupRemoved = fs::remove(*group, ec);
        }
    }
    return out;
}

} // namespace pj::install
