// POSIX: freedesktop desktop entries. The program group is a submenu of the
// applications menu: the entries in <data>/applications/<id>/ (desktop file
// IDs "<id>-projector.desktop" and "<id>-uninstall.desktop"), the submenu's
// name and icon in <data>/desktop-directories/<id>.directory, and the merged
// menu <config>/menus/applications-merged/<id>.menu that puts the two entries
// into it. The desktop launcher is "<name>.desktop" in the desktop folder.
#include "install/product.h"
#include "install/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace pj::install {

namespace {

struct XdgFolders {
    fs::path applications;
    fs::path directories;
    fs::path mergedMenus;
    fs::path desktop;
};

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

fs::path home() {
    const std::string h = env("HOME");
    return h.empty() ? fs::path("/") : fs::path(h);
}

fs::path xdgBase(const char* var, const char* fallback) {
    const std::string v = env(var);
    if (!v.empty() && v.front() == '/')
        return v;
    return home() / fallback;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: "$HOME/Desktop" or an absolute path,
// in double quotes, with backslash escapes.
fs::path desktopFromUserDirs(const fs::path& configHome) {
    std::ifstream in(configHome / "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=";
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value = line.substr(start + key.size());
        if (value.size() < 2 || value.front() != '"')
            continue;
        std::string text;
        for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            text.push_back(value[i]);
        }
        if (text.rfind("$HOME", 0) == 0) {
            const std::string rest = text.substr(5);
            if (rest.empty() || rest == "/")
                return home();
            if (rest.front() == '/')
                return home() / rest.substr(1);
        } else if (!text.empty() && text.front() == '/') {
            return text;
        }
    }
    return home() / "Desktop";
}

// The ASCII letters and digits of the group name, lower case: "vantor" for
// "Vantor软件". Desktop file IDs and menu names stay plain ASCII this way.
std::string groupId(std::string_view group) {
    std::string id;
    for (char c : group) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            id.push_back(c);
        else if (c >= 'A' && c <= 'Z')
            id.push_back(static_cast<char>(c + 32));
    }
    return id.empty() ? std::string("group") : id;
}

// A value of type string: backslash escapes for backslash and line breaks.
std::string escapeString(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string unescapeString(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        switch (s[++i]) {
        case 's':
            out.push_back(' ');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'r':
            out.push_back('\r');
            break;
        default:
            out.push_back(s[i]);
        }
    }
    return out;
}

// One argument of the Exec key: always in double quotes, with '"', '`', '$'
// and '\' escaped by a backslash and '%' doubled; then the whole is escaped
// as a string value.
std::string execArgument(std::string_view arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted.push_back('\\');
        if (c == '%')
            quoted.push_back('%');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return escapeString(quoted);
}

std::string xmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string applicationEntry(const std::string& name, const std::string& comment,
                             const fs::path& program, const ShortcutRequest& r) {
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n";
    text += "Name=" + escapeString(name) + "\n";
    text += "Comment=" + escapeString(comment) + "\n";
    text += "Exec=" + execArgument(utf8FromPath(program)) + "\n";
    text += "Path=" + escapeString(utf8FromPath(r.installFolder)) + "\n";
    if (!r.icon.empty())
        text += "Icon=" + escapeString(utf8FromPath(r.icon)) + "\n";
    text += "Terminal=false\n"
            "StartupNotify=true\n";
    return text;
}

bool writeText(const fs::path& file, const std::string& text, bool executable, std::string& error) {
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = "无法创建快捷方式：" + utf8FromPath(file);
            return false;
        }
    }
    // Desktops start a launcher on the desktop only when it is executable.
    if (executable)
        ::chmod(file.c_str(), 0755);
    return true;
}

class XdgShell : public ShellIntegration {
public:
    explicit XdgShell(XdgFolders f)
        : f_(std::move(f)) {}

    std::optional<std::vector<PlannedShortcut>> plan(const ShortcutRequest& r,
                                                     std::string&) const override {
        const std::string id = groupId(r.group);
        std::vector<PlannedShortcut> out;
        const fs::path group = f_.applications / id;
        out.push_back({PlannedShortcut::Kind::Program, group / "projector.desktop"});
        out.push_back({PlannedShortcut::Kind::Uninstall, group / "uninstall.desktop"});
        out.push_back({PlannedShortcut::Kind::MenuDirectory, f_.directories / (id + ".directory")});
        out.push_back({PlannedShortcut::Kind::MenuLayout, f_.mergedMenus / (id + ".menu")});
        if (r.desktop)
            out.push_back(
                {PlannedShortcut::Kind::Desktop, f_.desktop / pathFromUtf8(r.name + ".desktop")});
        return out;
    }

    bool create(const PlannedShortcut& s, const ShortcutRequest& r, std::string& error) override {
        const std::string id = groupId(r.group);
        switch (s.kind) {
        case PlannedShortcut::Kind::Program:
            return writeText(s.file, applicationEntry(r.name, r.description, r.program, r), false,
                             error);
        case PlannedShortcut::Kind::Uninstall:
            return writeText(s.file,
                             applicationEntry(std::string(kUninstallName),
                                              std::string(kUninstallDescription), r.remover, r),
                             false, error);
        case PlannedShortcut::Kind::Desktop:
            return writeText(s.file, applicationEntry(r.name, r.description, r.program, r), true,
                             error);
        case PlannedShortcut::Kind::MenuDirectory: {
            std::string text = "[Desktop Entry]\n"
                               "Type=Directory\n"
                               "Version=1.0\n";
            text += "Name=" + escapeString(r.group) + "\n";
            if (!r.icon.empty())
                text += "Icon=" + escapeString(utf8FromPath(r.icon)) + "\n";
            return writeText(s.file, text, false, error);
        }
        case PlannedShortcut::Kind::MenuLayout: {
            const std::string text =
                "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n"
                "<Menu>\n"
                "  <Name>Applications</Name>\n"
                "  <Menu>\n"
                "    <Name>" +
                xmlEscape(id) +
                "</Name>\n"
                "    <Directory>" +
                id +
                ".directory</Directory>\n"
                "    <Include>\n"
                "      <Filename>" +
                id +
                "-projector.desktop</Filename>\n"
                "      <Filename>" +
                id +
                "-uninstall.desktop</Filename>\n"
                "    </Include>\n"
                "  </Menu>\n"
                "</Menu>\n";
            return writeText(s.file, text, false, error);
        }
        }
        return false;
    }

    std::optional<fs::path> groupFolder(std::string_view group) const override {
        if (!isPlainGroupName(group))
            return std::nullopt;
        return f_.applications / groupId(group);
    }

    bool mayHaveMade(const fs::path& file, std::string_view group) const override {
        if (!isPlainGroupName(group))
            return false;
        const std::string id = groupId(group);
        const fs::path parent = file.parent_path();
        const bool desktopFile = file.extension() == ".desktop" && file.stem() != "";
        return (desktopFile && samePath(parent, f_.applications / id)) ||
               (desktopFile && samePath(parent, f_.desktop)) ||
               samePath(file, f_.directories / (id + ".directory")) ||
               samePath(file, f_.mergedMenus / (id + ".menu"));
    }

    bool belongsTo(const fs::path& file, const fs::path& installFolder) const override {
        if (file.extension() != ".desktop")
            return true;
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Path=", 0) == 0)
                return samePath(pathFromUtf8(unescapeString(line.substr(5))), installFolder);
        }
        return false;
    }

    std::vector<fs::path> shortcutFolders(std::string_view group) const override {
        return {f_.applications / groupId(group), f_.desktop, f_.directories, f_.mergedMenus};
    }

private:
    XdgFolders f_;
};

} // namespace

std::unique_ptr<ShellIntegration> makeSystemShell() {
    const fs::path configHome = xdgBase("XDG_CONFIG_HOME", ".config");
    XdgFolders f;
    // Root installs for every user (system menus), unless its own data folder
    // is named explicitly, which asks for root's own menus.
    if (geteuid() == 0 && env("XDG_DATA_HOME").empty()) {
        f.applications = "/usr/local/share/applications";
        f.directories = "/usr/local/share/desktop-directories";
        f.mergedMenus = "/etc/xdg/menus/applications-merged";
    } else {
        const fs::path dataHome = xdgBase("XDG_DATA_HOME", ".local/share");
        f.applications = dataHome / "applications";
        f.directories = dataHome / "desktop-directories";
        f.mergedMenus = configHome / "menus" / "applications-merged";
    }
    f.desktop = desktopFromUserDirs(configHome);
    return std::make_unique<XdgShell>(std::move(f));
}

std::unique_ptr<ShellIntegration> makeShellBelow(const fs::path& root) {
    XdgFolders f;
    f.applications = root / "data" / "applications";
    f.directories = root / "data" / "desktop-directories";
    f.mergedMenus = root / "config" / "menus" / "applications-merged";
    f.desktop = root / "Desktop";
    return std::make_unique<XdgShell>(std::move(f));
}

} // namespace pj::install
