#include "install/installer.h"

#include "install/digest.h"
#include "install/files.h"
#include "install/folders.h"
#include "install/product.h"
#include "install/record.h"

#include <algorithm>

namespace pj::install {

struct Installer::Plan {
    fs::path folder;
    fs::path record;
    fs::path digests;
    fs::path remover;
    std::vector<fs::path> files; // one per payload entry
    ShortcutRequest request;
    std::vector<PlannedShortcut> shortcuts;
    RecordEncoding encoding = RecordEncoding::Ansi;
};

namespace {

// What one run made, undone in reverse on failure or cancel.
class Rollback {
public:
    void folder(const fs::path& p) { folders_.push_back(p); }
    void file(const fs::path& p) { files_.push_back(p); }

    void undo(const std::function<void(int)>& progress, std::size_t payloadWritten,
              std::size_t payloadCount) {
        std::error_code ec;
        for (auto it = files_.rbegin(); it != files_.rend(); ++it)
            fs::remove(*it, ec);
        if (progress && payloadCount > 0) {
            for (std::size_t i = payloadWritten; i-- > 0;)
                progress(static_cast<int>(i * 100 / payloadCount));
        }
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
            fs::remove(*it, ec); // only when empty
    }

private:
    std::vector<fs::path> files_;
    std::vector<fs::path> folders_;
};

fs::path joinRelative(const fs::path& folder, std::string_view name) {
    fs::path p = folder / pathFromUtf8(name);
    p.make_preferred();
    return p;
}

bool sameName(std::string_view a, std::string_view b) {
    return pathTextEqual(pathFromUtf8(a).native(), pathFromUtf8(b).native());
}

} // namespace

Installer::Installer(const PayloadSource& source, std::vector<PayloadEntry> payload,
                     ShellIntegration& shell)
    : source_(source)
    , payload_(std::move(payload))
    , shell_(shell) {}

std::optional<Installer::Plan> Installer::makePlan(const InstallOptions& o,
                                                   std::string& error) const {
    const FolderCheck folderCheck = checkInstallFolder(utf8FromPath(o.folder));
    if (!folderCheck.ok) {
        error = folderCheck.message;
        return std::nullopt;
    }
    if (!isValidShortcutName(o.shortcutName)) {
        error = "快捷方式名称无效：不能为空，最多 " + std::to_string(kMaxShortcutNameBytes) +
                " 字节，不能含有 \\ / : * ? \" < > | 或控制字符，不能以点或空格开头或结尾";
        return std::nullopt;
    }
    for (const auto& e : payload_) {
        if (!source_.resource(e.resource)) {
            error = "安装包不完整：缺少 " + e.name;
            return std::nullopt;
        }
    }
    if (!source_.resource(kRemoverResource)) {
        error = "安装包不完整：缺少 " + std::string(removerFileName());
        return std::nullopt;
    }
    Plan plan;
    plan.folder = o.folder;
    plan.folder.make_preferred();
    // A trailing separator would give every line a doubled one.
    while (!plan.folder.has_filename() && plan.folder.has_relative_path())
        plan.folder = plan.folder.parent_path();
    plan.record = plan.folder / pathFromUtf8(kRecordFileName);
    plan.digests = plan.folder / pathFromUtf8(kDigestFileName);
    plan.remover = plan.folder / pathFromUtf8(removerFileName());
    std::vector<std::string> lines{std::string(kProductTitle)};
    for (const auto& e : payload_) {
        plan.files.push_back(joinRelative(plan.folder, e.name));
        lines.push_back(utf8FromPath(plan.files.back()));
        if (e.resource == kProgramResource)
            plan.request.program = plan.files.back();
        if (sameName(e.name, kIconFileName))
            plan.request.icon = plan.files.back();
    }
    plan.request.installFolder = plan.folder;
    plan.request.remover = plan.remover;
    plan.request.group = std::string(kProductTitle);
    plan.request.name = o.shortcutName;
    plan.request.description = std::string(kProductShortTitle);
    plan.request.desktop = o.desktopShortcut;
    auto shortcuts = shell_.plan(plan.request, error);
    if (!shortcuts)
        return std::nullopt;
    plan.shortcuts = std::move(*shortcuts);
    for (const auto& s : plan.shortcuts)
        lines.push_back(utf8FromPath(s.file));
    // The record and the remover are not record lines, but must fit the same limits.
    lines.push_back(utf8FromPath(plan.record));
    lines.push_back(utf8FromPath(plan.remover));
    const auto enc = chooseRecordEncoding(lines, error);
    if (!enc)
        return std::nullopt;
    plan.encoding = *enc;
    return plan;
}

std::optional<std::string> Installer::check(const InstallOptions& options) const {
    std::string error;
    if (!makePlan(options, error))
        return error;
    return std::nullopt;
}

InstallOutcome Installer::run(const InstallOptions& options, const std::atomic<bool>& cancel,
                              const std::function<void(int)>& progress) {
    InstallOutcome out;
    std::string error;
    const auto plan = makePlan(options, error);
    if (!plan) {
        out.message = error;
        return out;
    }
    Rollback rollback;
    RecordWriter record;
    std::size_t written = 0;
    auto fail = [&](InstallOutcome::Status status, std::string message) {
        record.close(); // an open file cannot be deleted on Windows
        rollback.undo(progress, written, payload_.size());
        out.status = status;
        out.message = std::move(message);
        out.created.clear();
        return out;
    };

    std::vector<fs::path> createdFolders;
    const bool folderMade = createFolderChain(plan->folder, createdFolders, error);
    for (const auto& f : createdFolders)
        rollback.folder(f);
    if (!folderMade)
        return fail(InstallOutcome::Status::Failed, error);

    if (!record.open(plan->record, plan->encoding, error))
        return fail(InstallOutcome::Status::Failed, error);
    rollback.file(plan->record);
    if (!record.append(kProductTitle, error))
        return fail(InstallOutcome::Status::Failed, error);

    DigestList digests;
    for (std::size_t i = 0; i < payload_.size(); ++i) {
        if (cancel.load())
            return fail(InstallOutcome::Status::Cancelled, "安装已取消");
        const PayloadEntry& entry = payload_[i];
        const fs::path& target = plan->files[i];
        const auto bytes = *source_.resource(entry.resource);
        createdFolders.clear();
        const bool parentMade = createFolderChain(target.parent_path(), createdFolders, error);
        for (const auto& f : createdFolders)
            rollback.folder(f);
        if (!parentMade)
            return fail(InstallOutcome::Status::Failed,
                        "无法创建文件夹：" + utf8FromPath(target.parent_path()));
        std::error_code ec;
        bool keep = false;
        if (entry.resource == kCatalogueResource) {
            const std::string carried = sha256Hex(bytes);
            digests[entry.name] = carried;
            if (fs::exists(target, ec)) {
                const auto present = sha256OfFile(target);
                keep = true;
                if (!present || *present != carried)
                    out.notes.push_back("已保留现有的型号库：" + utf8FromPath(target) +
                                        "（安装包中的型号库可用 catalogue import 导入）");
            }
        }
        if (!keep) {
            if (!writeWholeFile(target, bytes, error))
                return fail(InstallOutcome::Status::Failed, error);
            rollback.file(target);
            if (entry.resource == kProgramResource)
                markExecutable(target);
        }
        if (!record.append(utf8FromPath(target), error))
            return fail(InstallOutcome::Status::Failed, error);
        out.created.push_back(target);
        ++written;
        if (progress)
            progress(static_cast<int>((i + 1) * 100 / payload_.size()));
    }

    if (!writeWholeFile(plan->remover, *source_.resource(kRemoverResource), error))
        return fail(InstallOutcome::Status::Failed, error);
    rollback.file(plan->remover);
    markExecutable(plan->remover);

    const std::string digestText = formatDigestList(digests);
    if (!writeWholeFile(plan->digests,
                        std::as_bytes(std::span(digestText.data(), digestText.size())), error))
        return fail(InstallOutcome::Status::Failed, error);
    rollback.file(plan->digests);

    for (const auto& s : plan->shortcuts) {
        if (cancel.load())
            return fail(InstallOutcome::Status::Cancelled, "安装已取消");
        createdFolders.clear();
        if (!createFolderChain(s.file.parent_path(), createdFolders, error)) {
            for (const auto& f : createdFolders)
                rollback.folder(f);
            return fail(InstallOutcome::Status::Failed,
                        "无法创建文件夹：" + utf8FromPath(s.file.parent_path()));
        }
        for (const auto& f : createdFolders)
            rollback.folder(f);
        if (!shell_.create(s, plan->request, error)) {
            std::error_code ec;
            fs::remove(s.file, ec);
            return fail(InstallOutcome::Status::Failed, error);
        }
        rollback.file(s.file);
        if (!record.append(utf8FromPath(s.file), error))
            return fail(InstallOutcome::Status::Failed, error);
        out.created.push_back(s.file);
    }
    record.close();
    out.status = InstallOutcome::Status::Installed;
    return out;
}

} // namespace pj::install
