// Removing an installation from its record: a full removal, the catalogue
// changed by the user, and damaged or hostile records that must delete
// nothing outside the install folder and the shortcut places.
#include "install_test_support.h"

#include "install/folders.h"
#include "install/installer.h"
#include "install/record.h"
#include "install/removal.h"

#include <atomic>

using namespace pj::install;
using namespace pj::install::testing;

namespace {

struct Installed {
    TempDir root;
    TestPayload payload;
    std::unique_ptr<ShellIntegration> shell = makeShellBelow(root.path() / "shell");
    fs::path folder = root.path() / "apps" / pathFromUtf8(kProductTitle);

    Installed() {
        InstallOptions o;
        o.folder = folder;
        o.shortcutName = "Vantor";
        o.desktopShortcut = true;
        const std::atomic<bool> cancel{false};
        const auto out = Installer(payload.source, payload.entries, *shell).run(o, cancel);
        EXPECT_EQ(out.status, InstallOutcome::Status::Installed) << out.message;
    }

    // A record of its own in the install folder: the title and `lines`.
    void writeRecord(const std::vector<std::string>& lines) {
        std::string error;
        std::vector<std::string> all{std::string(kProductTitle)};
        all.insert(all.end(), lines.begin(), lines.end());
        RecordWriter w;
        ASSERT_TRUE(w.open(folder / "qR.ini", RecordEncoding::Utf8Bom, error));
        for (const auto& l : all)
            ASSERT_TRUE(w.append(l, error)) << error;
    }
};

} // namespace

TEST(Remove, everythingRecordedGoesAndTheInstallFolderStays) {
    Installed i;
    std::vector<int> progress;
    const RemovalOutcome out =
        removeInstallation(i.folder, *i.shell, [&](int p) { progress.push_back(p); });
    EXPECT_TRUE(out.complete());
    for (const auto& p : out.problems)
        ADD_FAILURE() << p;
    EXPECT_TRUE(out.groupRemoved);
    EXPECT_FALSE(out.keptCatalogue);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(fs::is_directory(i.folder));
    // Only the remover is left, for the self-delete; plugin folders went too.
    EXPECT_EQ(filesBelow(i.folder), (std::vector<std::string>{std::string(removerFileName())}));
    EXPECT_FALSE(fs::exists(i.folder / "platforms"));
    EXPECT_TRUE(filesBelow(i.root.path() / "shell").empty());
    EXPECT_FALSE(fs::exists(*i.shell->groupFolder(kProductTitle)));
}

TEST(Remove, changedCatalogueIsKeptAndNamedUnchangedOneGoes) {
    Installed i;
    writeFile(i.folder / "projector.mdb", "models added by the technician");
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_TRUE(out.complete());
    ASSERT_TRUE(out.keptCatalogue);
    EXPECT_TRUE(samePath(*out.keptCatalogue, i.folder / "projector.mdb"));
    EXPECT_EQ(readFile(i.folder / "projector.mdb"), "models added by the technician");
    EXPECT_NE(keptCatalogueMessage(*out.keptCatalogue).find(utf8FromPath(i.folder)),
              std::string::npos);

    Installed j;
    EXPECT_FALSE(removeInstallation(j.folder, *j.shell).keptCatalogue);
    EXPECT_FALSE(fs::exists(j.folder / "projector.mdb"));
}

TEST(Remove, catalogueWithoutItsDigestIsKept) {
    Installed i;
    fs::remove(i.folder / "qR.sha256");
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_TRUE(out.keptCatalogue);
    EXPECT_TRUE(fs::exists(i.folder / "projector.mdb"));
}

TEST(Remove, noRecordDeletesNothing) {
    Installed i;
    fs::remove(i.folder / "qR.ini");
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_FALSE(out.recordFound);
    EXPECT_FALSE(out.complete());
    EXPECT_TRUE(fs::exists(i.folder / "PROJECTOR.exe"));
}

TEST(Remove, hostileRecordDeletesNothingOutside) {
    Installed i;
    const fs::path outside = i.root.path() / "victim.txt";
    const fs::path home = i.root.path() / "home";
    writeFile(outside, "keep");
    writeFile(home / "notes.txt", "keep");
    writeFile(i.root.path() / "shell" / "Desktop" / "other.txt", "keep");
    const fs::path otherGroup = i.root.path() / "shell" / "Programs" / "Other" / "x.lnk";
    writeFile(otherGroup, "keep");
    std::vector<std::string> lines{
        utf8FromPath(outside),
        utf8FromPath(home),
        utf8FromPath(home / "notes.txt"),
        utf8FromPath(i.root.path()),
        utf8FromPath(i.folder),                       // the install folder itself
        utf8FromPath(i.folder / ".." / "victim.txt"), // climbs out
        utf8FromPath(i.folder / ".." / ".." / "victim.txt"),
        "..\\..\\victim.txt",
        "../../victim.txt",
        "victim.txt",
        utf8FromPath(i.root.path() / "shell" / "Desktop" / "other.txt"), // not a shortcut
        utf8FromPath(otherGroup),                                        // another group's folder
    };
    const std::string systemFile =
        driveRoots().empty() ? "/etc/hostname" : "C:\\Windows\\system.ini";
    const bool systemFileThere = fs::exists(pathFromUtf8(systemFile));
    lines.push_back(systemFile);
    lines.push_back(driveRoots().empty() ? "/" : "C:\\");
    i.writeRecord(lines);
    // Relative lines are judged against nothing: not even the working folder.
    const fs::path before = fs::current_path();
    fs::current_path(i.folder);
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    fs::current_path(before);
    EXPECT_TRUE(out.deleted.empty());
    EXPECT_EQ(out.problems.size(), lines.size());
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_EQ(readFile(home / "notes.txt"), "keep");
    EXPECT_EQ(readFile(i.root.path() / "shell" / "Desktop" / "other.txt"), "keep");
    EXPECT_EQ(readFile(otherGroup), "keep");
    EXPECT_TRUE(fs::is_directory(i.folder));
    EXPECT_EQ(fs::exists(pathFromUtf8(systemFile)), systemFileThere);
    EXPECT_FALSE(out.complete());
}

TEST(Remove, symbolicLinkOutOfTheFolderIsNotFollowed) {
    Installed i;
    const fs::path outsideDir = i.root.path() / "outside";
    writeFile(outsideDir / "victim.txt", "keep");
    std::error_code ec;
    fs::create_directory_symlink(outsideDir, i.folder / "link", ec);
    if (ec)
        GTEST_SKIP() << "symbolic links cannot be made here: " << ec.message();
    fs::create_symlink(outsideDir / "victim.txt", i.folder / "file-link", ec);
    std::vector<std::string> lines{utf8FromPath(i.folder / "link" / "victim.txt")};
    if (!ec)
        lines.push_back(utf8FromPath(i.folder / "file-link"));
    i.writeRecord(lines);
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_TRUE(out.deleted.empty());
    EXPECT_EQ(out.problems.size(), lines.size());
    EXPECT_EQ(readFile(outsideDir / "victim.txt"), "keep");
}

TEST(Remove, shortcutThatStartsSomethingElseIsKept) {
    Installed i;
    // Made for another install folder: same place, another target.
    const fs::path elsewhere = i.root.path() / "elsewhere";
    fs::create_directories(elsewhere);
    std::string error;
    ShortcutRequest r;
    r.installFolder = elsewhere;
    r.program = elsewhere / "x";
    r.remover = elsewhere / "y";
    r.group = std::string(kProductTitle);
    r.name = "Someone";
    r.description = "x";
    r.desktop = true;
    const auto plan = i.shell->plan(r, error);
    ASSERT_TRUE(plan);
    PlannedShortcut desktop = plan->back();
    ASSERT_EQ(desktop.kind, PlannedShortcut::Kind::Desktop);
    ASSERT_TRUE(i.shell->create(desktop, r, error)) << error;
    i.writeRecord({utf8FromPath(desktop.file)});
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_TRUE(fs::exists(desktop.file));
    ASSERT_EQ(out.problems.size(), 1u);
}

TEST(Remove, damagedRecordStillRemovesItsGoodLines) {
    Installed i;
    const auto good = readRecord(i.folder / "qR.ini")->files;
    std::string bytes = readFile(i.folder / "qR.ini");
    bytes += std::string(300, 'x') + "\r\n" + "torn-last-line";
    writeFile(i.folder / "qR.ini", bytes);
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_EQ(out.deleted.size(), good.size());
    EXPECT_EQ(out.problems.size(), 2u);
    EXPECT_FALSE(fs::exists(i.folder / "qR.ini"));
}

TEST(Remove, firstLineThatIsNotAPlainNameKeepsEveryFolder) {
    Installed i;
    std::string bytes = readFile(i.folder / "qR.ini");
    const std::size_t firstEnd = bytes.find("\r\n");
    bytes = "..\\.." + bytes.substr(firstEnd);
    writeFile(i.folder / "qR.ini", bytes);
    const RemovalOutcome out = removeInstallation(i.folder, *i.shell);
    EXPECT_FALSE(out.groupRemoved);
    // The shortcut lines are not accepted without a valid group either.
    EXPECT_TRUE(fs::exists(*i.shell->groupFolder(kProductTitle)));
    EXPECT_FALSE(out.problems.empty());
}
