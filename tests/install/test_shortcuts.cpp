// The shortcut seam through its interface, on every platform: planned files,
// the places removal accepts, and shortcuts that start the installed program
// from an install folder with spaces and Chinese in its path.
#include "install_test_support.h"

using namespace pj::install;
using namespace pj::install::testing;

namespace {

ShortcutRequest requestFor(const fs::path& folder, bool desktop) {
    ShortcutRequest r;
    r.installFolder = folder;
    r.program = folder / "PROJECTOR.exe";
    r.remover = folder / pathFromUtf8(removerFileName());
    r.group = std::string(kProductTitle);
    r.name = "Vantor 写码";
    r.description = std::string(kProductShortTitle);
    r.desktop = desktop;
    return r;
}

} // namespace

TEST(Shortcuts, planNamesTheGroupEntriesThenTheDesktop) {
    TempDir root;
    auto shell = makeShellBelow(root.path());
    std::string error;
    const auto without = shell->plan(requestFor(root.path() / "x", false), error);
    const auto with = shell->plan(requestFor(root.path() / "x", true), error);
    ASSERT_TRUE(without && with) << error;
    EXPECT_EQ(with->size(), without->size() + 1);
    EXPECT_EQ(with->front().kind, PlannedShortcut::Kind::Program);
    EXPECT_EQ(with->back().kind, PlannedShortcut::Kind::Desktop);
    for (const auto& s : *with)
        EXPECT_TRUE(shell->mayHaveMade(s.file, kProductTitle)) << utf8FromPath(s.file);
    const fs::path group = *shell->groupFolder(kProductTitle);
    EXPECT_TRUE(samePath(with->front().file.parent_path(), group));
    EXPECT_FALSE(shell->groupFolder(".."));
    EXPECT_FALSE(shell->groupFolder("a/b"));
    EXPECT_FALSE(shell->mayHaveMade(with->front().file, "Other"));
}

TEST(Shortcuts, madeForAFolderWithSpacesAndChineseStartTheProgramThere) {
    TempDir root;
    auto shell = makeShellBelow(root.path() / "shell");
    const fs::path folder =
        root.path() / pathFromUtf8("Program Files") / pathFromUtf8(kProductTitle);
    fs::create_directories(folder);
    const ShortcutRequest r = requestFor(folder, true);
    std::string error;
    const auto plan = shell->plan(r, error);
    ASSERT_TRUE(plan) << error;
    for (const auto& s : *plan) {
        fs::create_directories(s.file.parent_path());
        ASSERT_TRUE(shell->create(s, r, error)) << error;
        EXPECT_TRUE(fs::is_regular_file(s.file)) << utf8FromPath(s.file);
        EXPECT_TRUE(shell->belongsTo(s.file, folder)) << utf8FromPath(s.file);
        EXPECT_FALSE(
            shell->belongsTo(s.file, root.path() / "other") &&
            (s.kind == PlannedShortcut::Kind::Program || s.kind == PlannedShortcut::Kind::Desktop));
    }
}

TEST(Shortcuts, groupAndShortcutNameRules) {
    EXPECT_TRUE(isPlainGroupName(kProductTitle));
    EXPECT_FALSE(isPlainGroupName(""));
    EXPECT_FALSE(isPlainGroupName(".."));
    EXPECT_FALSE(isPlainGroupName("a\\b"));
    EXPECT_FALSE(isPlainGroupName(std::string(50, 'a')));
    EXPECT_TRUE(isValidShortcutName("Vantor"));
    EXPECT_TRUE(isValidShortcutName("中控 写码"));
    EXPECT_TRUE(isValidShortcutName(std::string(49, 'a')));
    EXPECT_FALSE(isValidShortcutName(std::string(50, 'a')));
    for (const char* bad :
         {"", "a/b", "a\\b", "a:b", "a?", "a\"b", "a<b", "a|b", "a\tb", " a", "a ", "a.", ".a"})
        EXPECT_FALSE(isValidShortcutName(bad)) << bad;
}
