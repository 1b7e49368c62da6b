// POSIX: the desktop entries, the directory entry and the merged menu that
// make the "Vantor软件" submenu, as files.
#include "install_test_support.h"

#include <sys/stat.h>

using namespace pj::install;
using namespace pj::install::testing;

namespace {

struct Made {
    TempDir root;
    std::unique_ptr<ShellIntegration> shell = makeShellBelow(root.path());
    fs::path folder = root.path() / "with space" / "50% \"quoted\" $x`y`";
    std::vector<PlannedShortcut> plan;

    Made() {
        ShortcutRequest r;
        r.installFolder = folder;
        r.program = folder / "PROJECTOR";
        r.remover = folder / "remover";
        r.icon = folder / "projector.png";
        r.group = std::string(kProductTitle);
        r.name = "Vantor";
        r.description = std::string(kProductShortTitle);
        r.desktop = true;
        std::string error;
        plan = *shell->plan(r, error);
        for (const auto& s : plan) {
            fs::create_directories(s.file.parent_path());
            EXPECT_TRUE(shell->create(s, r, error)) << error;
        }
    }
    std::string text(PlannedShortcut::Kind k) {
        for (const auto& s : plan)
            if (s.kind == k)
                return readFile(s.file);
        return {};
    }
};

} // namespace

TEST(DesktopEntries, programEntryQuotesExecAndSetsTheWorkingFolder) {
    Made m;
    const std::string entry = m.text(PlannedShortcut::Kind::Program);
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("Name=Vantor\n"), std::string::npos);
    // Exec: the argument quoted, '"', '$', '`' and '\' escaped, '%' doubled,
    // then the backslashes of the quoting escaped once more as a string.
    EXPECT_NE(entry.find("Exec=\"" + utf8FromPath(m.root.path()) +
                         "/with space/50%% \\\\\"quoted\\\\\" \\\\$x\\\\`y\\\\`/PROJECTOR\"\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("Path=" + utf8FromPath(m.folder) + "\n"), std::string::npos);
    EXPECT_NE(entry.find("Icon=" + utf8FromPath(m.folder / "projector.png") + "\n"),
              std::string::npos);
}

TEST(DesktopEntries, uninstallEntryMenuFilesAndDesktopLauncher) {
    Made m;
    const std::string uninstall = m.text(PlannedShortcut::Kind::Uninstall);
    EXPECT_NE(uninstall.find("Name=卸载\n"), std::string::npos);
    EXPECT_NE(uninstall.find("Comment=卸载Vantor软件\n"), std::string::npos);
    EXPECT_NE(uninstall.find("/remover\"\n"), std::string::npos);
    const std::string directory = m.text(PlannedShortcut::Kind::MenuDirectory);
    EXPECT_NE(directory.find("Type=Directory\nVersion=1.0\nName=Vantor软件\n"), std::string::npos);
    const std::string menu = m.text(PlannedShortcut::Kind::MenuLayout);
    EXPECT_NE(menu.find("<Directory>vantor.directory</Directory>"), std::string::npos);
    EXPECT_NE(menu.find("<Filename>vantor-projector.desktop</Filename>"), std::string::npos);
    EXPECT_NE(menu.find("<Filename>vantor-uninstall.desktop</Filename>"), std::string::npos);
    // The entries' file IDs match the menu: applications/vantor/projector.desktop.
    EXPECT_TRUE(
        fs::exists(m.root.path() / "data" / "applications" / "vantor" / "projector.desktop"));
    struct stat st {};
    ASSERT_EQ(::stat((m.root.path() / "Desktop" / "Vantor.desktop").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u); // desktops run only executable launchers
}
