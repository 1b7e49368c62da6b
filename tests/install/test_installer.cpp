// Installing the carried files: the order of files and record lines, the
// shortcuts, a cancel before every file, a file that cannot be written, the
// catalogue already there, and names and paths refused before anything is
// written.
#include "install_test_support.h"

#include "install/digest.h"
#include "install/installer.h"
#include "install/record.h"

#include <atomic>

using namespace pj::install;
using namespace pj::install::testing;

namespace {

struct Fixture {
    TempDir root;
    TestPayload payload;
    std::unique_ptr<ShellIntegration> shell = makeShellBelow(root.path() / "shell");
    fs::path folder = root.path() / "apps" / pathFromUtf8(kProductTitle);

    Installer installer() { return Installer(payload.source, payload.entries, *shell); }
    InstallOptions options(bool desktop = true) {
        InstallOptions o;
        o.folder = folder;
        o.shortcutName = "Vantor";
        o.desktopShortcut = desktop;
        return o;
    }
    // Everything this installation could leave behind.
    std::vector<std::string> leftovers() {
        auto a = filesBelow(root.path() / "apps");
        const auto b = filesBelow(root.path() / "shell");
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
};

} // namespace

TEST(Install, writesFilesRecordAndShortcutsInOrder) {
    Fixture f;
    fs::create_directories(f.root.path() / "shell" / "Desktop");
    std::vector<int> progress;
    const std::atomic<bool> cancel{false};
    const InstallOutcome out =
        f.installer().run(f.options(), cancel, [&](int p) { progress.push_back(p); });
    ASSERT_EQ(out.status, InstallOutcome::Status::Installed) << out.message;
    EXPECT_EQ(progress, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(readFile(f.folder / "PROJECTOR.exe"), "program bytes");
    EXPECT_EQ(readFile(f.folder / "platforms" / "qoffscreen.dll"), "plugin bytes");
    EXPECT_EQ(readFile(f.folder / pathFromUtf8(removerFileName())), "remover bytes");

    const auto record = readRecord(f.folder / "qR.ini");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->group, kProductTitle);
    std::vector<std::string> expected;
    for (const auto& e : f.payload.entries)
        expected.push_back(utf8FromPath((f.folder / pathFromUtf8(e.name)).make_preferred()));
    std::string error;
    ShortcutRequest request;
    request.group = std::string(kProductTitle);
    request.name = "Vantor";
    request.desktop = true;
    const auto shortcuts = f.shell->plan(request, error);
    ASSERT_TRUE(shortcuts) << error;
    for (const auto& s : *shortcuts)
        expected.push_back(utf8FromPath(s.file));
    EXPECT_EQ(record->files, expected);
    EXPECT_EQ(out.created.size(), expected.size());
    for (const auto& line : record->files)
        EXPECT_TRUE(fs::is_regular_file(pathFromUtf8(line))) << line;
    // Every line ends in CR LF, the last one too.
    const std::string bytes = readFile(f.folder / "qR.ini");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");

    const DigestList digests = parseDigestList(readFile(f.folder / "qR.sha256"));
    const std::string_view cat = TestPayload::kCatalogue;
    EXPECT_EQ(digests.at("projector.mdb"),
              sha256Hex(std::as_bytes(std::span(cat.data(), cat.size()))));
}

TEST(Install, withoutDesktopShortcutTheRecordHasNoDesktopLine) {
    Fixture f;
    const std::atomic<bool> cancel{false};
    ASSERT_EQ(f.installer().run(f.options(false), cancel).status,
              InstallOutcome::Status::Installed);
    const auto record = readRecord(f.folder / "qR.ini");
    for (const auto& line : record->files)
        EXPECT_FALSE(isStrictlyInside(pathFromUtf8(line), f.root.path() / "shell" / "Desktop"))
            << line;
    EXPECT_TRUE(filesBelow(f.root.path() / "shell" / "Desktop").empty());
}

TEST(Install, cancelBeforeEveryFileRollsBackEverything) {
    Fixture f;
    const std::size_t files = f.payload.entries.size();
    for (std::size_t k = 0; k <= files; ++k) {
        std::atomic<bool> cancel{k == 0};
        std::vector<int> progress;
        const InstallOutcome out = f.installer().run(f.options(), cancel, [&](int p) {
            progress.push_back(p);
            if (progress.size() == k)
                cancel = true; // seen before the next file (or the shortcuts)
        });
        EXPECT_EQ(out.status, InstallOutcome::Status::Cancelled) << "after " << k << " files";
        EXPECT_TRUE(f.leftovers().empty()) << "after " << k << " files: " << f.leftovers().size();
        EXPECT_FALSE(fs::exists(f.folder)) << "the folder this run made goes too";
        EXPECT_TRUE(out.created.empty());
        if (k > 0) {
            EXPECT_EQ(progress.back(), 0); // the bar runs back down
        }
    }
}

TEST(Install, fileThatCannotBeWrittenStopsNamingItAndRollsBack) {
    Fixture f;
    // A folder where the help file goes: the write fails after the program.
    fs::create_directories(f.folder / "projector.CHM");
    const std::atomic<bool> cancel{false};
    const InstallOutcome out = f.installer().run(f.options(), cancel);
    EXPECT_EQ(out.status, InstallOutcome::Status::Failed);
    EXPECT_NE(out.message.find("projector.CHM"), std::string::npos) << out.message;
    EXPECT_TRUE(f.leftovers().empty());
    EXPECT_TRUE(fs::is_directory(f.folder / "projector.CHM")); // not ours: kept
}

TEST(Install, existingChangedCatalogueIsKeptAndNamed) {
    Fixture f;
    writeFile(f.folder / "projector.mdb", "the technician's models");
    const std::atomic<bool> cancel{false};
    const InstallOutcome out = f.installer().run(f.options(false), cancel);
    ASSERT_EQ(out.status, InstallOutcome::Status::Installed) << out.message;
    EXPECT_EQ(readFile(f.folder / "projector.mdb"), "the technician's models");
    ASSERT_EQ(out.notes.size(), 1u);
    EXPECT_NE(out.notes[0].find("projector.mdb"), std::string::npos);
    EXPECT_NE(out.notes[0].find("catalogue import"), std::string::npos);
}

TEST(Install, cancelledOverAnExistingCatalogueLeavesIt) {
    Fixture f;
    writeFile(f.folder / "projector.mdb", "the technician's models");
    std::atomic<bool> cancel{false};
    int seen = 0;
    f.installer().run(f.options(), cancel, [&](int) {
        if (++seen == 3)
            cancel = true; // after the catalogue
    });
    EXPECT_EQ(f.leftovers(),
              (std::vector<std::string>{std::string(kProductTitle) + "/projector.mdb"}));
}

TEST(Install, badNamesAndPathsAreRefusedBeforeAnythingIsWritten) {
    Fixture f;
    Installer installer = f.installer();
    for (const char* name : {"", "a/b", "..\\x", "a:b", "a*", "trailing.", ".hidden",
                             "this name is far too long for a shortcut file name"}) {
        InstallOptions o = f.options();
        o.shortcutName = name;
        EXPECT_TRUE(installer.check(o)) << name;
    }
    InstallOptions o = f.options();
    o.folder = "relative";
    EXPECT_TRUE(installer.check(o));
    o.folder = f.folder / std::string(200, 'a');
    EXPECT_TRUE(installer.check(o));
    const std::atomic<bool> cancel{false};
    EXPECT_EQ(installer.run(o, cancel).status, InstallOutcome::Status::Failed);
    EXPECT_TRUE(f.leftovers().empty());
    EXPECT_FALSE(installer.check(f.options()));
}

TEST(Install, payloadWithoutTheRemoverIsRefused) {
    TempDir root;
    MemoryPayload source;
    source.add(kProgramResource, "p");
    auto shell = makeShellBelow(root.path() / "shell");
    Installer installer(source, {{kProgramResource, "PROJECTOR"}}, *shell);
    InstallOptions o;
    o.folder = root.path() / "x";
    o.shortcutName = "Vantor";
    const auto problem = installer.check(o);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find(std::string(removerFileName())), std::string::npos);
}

TEST(Install, overAnEarlierInstallationReplacesFilesAndRecord) {
    Fixture f;
    const std::atomic<bool> cancel{false};
    ASSERT_EQ(f.installer().run(f.options(), cancel).status, InstallOutcome::Status::Installed);
    writeFile(f.folder / "PROJECTOR.exe", "old program");
    InstallOptions o = f.options(false);
    ASSERT_EQ(f.installer().run(o, cancel).status, InstallOutcome::Status::Installed);
    EXPECT_EQ(readFile(f.folder / "PROJECTOR.exe"), "program bytes");
    const auto record = readRecord(f.folder / "qR.ini");
    ShortcutRequest request;
    request.group = std::string(kProductTitle);
    request.name = "Vantor";
    std::string error;
    const std::size_t shortcuts = f.shell->plan(request, error)->size();
    EXPECT_EQ(record->files.size(), f.payload.entries.size() + shortcuts); // no desktop line now
}
