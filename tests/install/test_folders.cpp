// The folder check of the folder page and the making of the folder chain.
#include "install_test_support.h"

#include "install/folders.h"
#include "install/wizard.h"

using namespace pj::install;
using namespace pj::install::testing;

namespace {

// A root this machine has: the first drive on Windows, "/" on POSIX.
std::string someRoot() {
    const auto roots = driveRoots();
    return roots.empty() ? std::string("/") : roots.front();
}

} // namespace

TEST(FolderCheck, platformRule) {
    const std::string root = someRoot();
    EXPECT_TRUE(checkInstallFolder(root + "Program Files/" + std::string(kProductTitle)).ok);
    EXPECT_FALSE(checkInstallFolder("relative/folder").ok);
    EXPECT_FALSE(checkInstallFolder("").ok);
    const FolderCheck refused = checkInstallFolder("Vantor");
    EXPECT_EQ(refused.message, illegalPathNotice());
    EXPECT_EQ(refused.message.rfind("使用非法路径，正常路径如：", 0), 0u);
    if (!driveRoots().empty()) {
        // The drive-root rule: the first three bytes only, either letter case.
        std::string lower = root + "x";
        lower[0] = static_cast<char>(lower[0] + 32);
        EXPECT_TRUE(checkInstallFolder(lower).ok);
        EXPECT_FALSE(checkInstallFolder(root.substr(0, 2)).ok);        // "C:"
        EXPECT_FALSE(checkInstallFolder(root.substr(0, 2) + "/x").ok); // "C:/x"
        EXPECT_FALSE(checkInstallFolder("\\\\server\\share\\x").ok);   // network path
        std::string missing = "Q:\\x";
        for (char d = 'Z'; d > 'D'; --d) {
            bool present = false;
            for (const auto& r : driveRoots())
                present = present || r[0] == d;
            if (!present) {
                missing[0] = d;
                break;
            }
        }
        EXPECT_FALSE(checkInstallFolder(missing).ok);
    } else {
        EXPECT_TRUE(checkInstallFolder("/opt/x").ok);
    }
}

TEST(FolderCheck, overLongControlDotsAndRootAreRefusedNotCut) {
    const std::string root = someRoot();
    const std::string fits = root + std::string(kMaxInstallPathBytes - root.size(), 'a');
    EXPECT_TRUE(checkInstallFolder(fits).ok);
    const FolderCheck tooLong = checkInstallFolder(fits + "a");
    EXPECT_FALSE(tooLong.ok);
    EXPECT_NE(tooLong.message.find("199"), std::string::npos);
    EXPECT_FALSE(checkInstallFolder(root + "a\nb").ok);
    EXPECT_FALSE(checkInstallFolder(root + "a/../b").ok);
    EXPECT_FALSE(checkInstallFolder(root + "./b").ok);
    EXPECT_FALSE(checkInstallFolder(root).ok);
}

TEST(FolderCheck, defaultFolderEndsInTheProductTitleAndPasses) {
    const std::string d = defaultInstallFolder();
    EXPECT_TRUE(checkInstallFolder(d).ok) << d;
    EXPECT_EQ(d.substr(d.size() - kProductTitle.size()), kProductTitle);
    if (!driveRoots().empty()) {
        EXPECT_EQ(d.substr(1), ":\\Program Files\\" + std::string(kProductTitle));
    }
}

TEST(FolderChain, createsEachMissingLevelOnceAndReportsThem) {
    TempDir dir;
    std::vector<fs::path> created;
    std::string error;
    const fs::path target = dir.path() / "one" / "two" / "";
    ASSERT_TRUE(createFolderChain(target, created, error)) << error;
    EXPECT_TRUE(fs::is_directory(dir.path() / "one" / "two"));
    ASSERT_EQ(created.size(), 2u);
    EXPECT_TRUE(samePath(created[0], dir.path() / "one"));
    EXPECT_TRUE(samePath(created[1], dir.path() / "one" / "two"));
    created.clear();
    EXPECT_TRUE(createFolderChain(target, created, error)); // existing: no error
    EXPECT_TRUE(created.empty());
    writeFile(dir.path() / "file", "x");
    EXPECT_FALSE(createFolderChain(dir.path() / "file" / "below", created, error));
    EXPECT_EQ(error, "该目录不存在！");
}

TEST(Paths, insideAndSameFollowThePlatformsCaseRule) {
    TempDir dir;
    const fs::path base = dir.path() / "Base";
    EXPECT_TRUE(isStrictlyInside(base / "a" / "b", base));
    EXPECT_FALSE(isStrictlyInside(base, base));
    EXPECT_FALSE(isStrictlyInside(base / ".." / "x", base));
    EXPECT_FALSE(isStrictlyInside(dir.path() / "Base2" / "x", base));
    EXPECT_FALSE(isStrictlyInside("relative/x", base));
    const fs::path otherCase = dir.path() / "BASE" / "x";
    EXPECT_EQ(isStrictlyInside(otherCase, base), !driveRoots().empty());
}

TEST(BrowserAccept, appendsTheTitleOnceAndRefusesOverLongResults) {
    const char sep = static_cast<char>(fs::path::preferred_separator);
    const std::string title(kProductTitle);
    EXPECT_EQ(appendProductTitle("C:"), "C:" + std::string(1, sep) + title);
    EXPECT_EQ(appendProductTitle(std::string("X") + sep), std::string("X") + sep + title);
    EXPECT_EQ(appendProductTitle(""), title); // refused later by the folder check
    EXPECT_FALSE(checkInstallFolder(appendProductTitle("")).ok);

    WizardLogic w(someRoot() + "start");
    w.browseFrom(someRoot() + "typed");
    EXPECT_EQ(w.installPath(), someRoot() + "typed");
    EXPECT_FALSE(w.browserAccepted(someRoot() + "chosen"));
    EXPECT_EQ(w.installPath(), someRoot() + "chosen" + sep + title);
    const auto refused = w.browserAccepted(someRoot() + std::string(190, 'a'));
    ASSERT_TRUE(refused);
    EXPECT_EQ(w.installPath(), someRoot() + "chosen" + sep + title); // unchanged
}
