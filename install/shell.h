#pragma once
// The shortcut seam: the program group with the program and "卸载", and the
// desktop shortcut, made the platform's way.
//
// Windows: ".lnk" files made with the shell-link object, in the current
// user's Programs folder (group folder "Vantor软件") and Desktop folder.
// POSIX: freedesktop desktop entries; the group is a submenu of the
// applications menu (a merged menu file and a directory entry), the entries
// sit in applications/<id>/, the desktop launcher in the user's desktop
// folder as xdg-user-dirs names it.

#include "install/text.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pj::install {

struct ShortcutRequest {
    fs::path installFolder;
    fs::path program;        // the installed program, in installFolder
    fs::path remover;        // the installed remover, in installFolder
    fs::path icon;           // an installed icon file, or empty
    std::string group;       // program group name: the product title
    std::string name;        // the program shortcut's name (UTF-8)
    std::string description; // the program shortcut's description
    bool desktop = false;
};

struct PlannedShortcut {
    enum class Kind { Program, Uninstall, Desktop, MenuDirectory, MenuLayout };
    Kind kind;
    fs::path file;
};

class ShellIntegration {
public:
    virtual ~ShellIntegration() = default;

    // The files the request makes, in the order they are made. nullopt with
    // `error` when the platform does not name a needed folder.
    virtual std::optional<std::vector<PlannedShortcut>> plan(const ShortcutRequest& request,
                                                             std::string& error) const = 0;
    // Writes one planned file (its folder exists). false with `error`.
    virtual bool create(const PlannedShortcut& shortcut, const ShortcutRequest& request,
                        std::string& error) = 0;
    // The program group folder of `group`; nullopt when unknown.
    virtual std::optional<fs::path> groupFolder(std::string_view group) const = 0;
    // Whether `file` is a place where setup makes a shortcut file for
    // `group`: in the group folder or on the desktop, with the platform's
    // shortcut extension, or one of the menu files of the group. Lexical; the
    // caller checks links and the real folders.
    virtual bool mayHaveMade(const fs::path& file, std::string_view group) const = 0;
    // Whether a shortcut file starts something in `installFolder` (its
    // working folder or target lies there); the group's menu files, which
    // start nothing, answer true. Read from the file itself.
    virtual bool belongsTo(const fs::path& file, const fs::path& installFolder) const = 0;
    // The folders whose place mayHaveMade accepts (for the caller's check of
    // their real location).
    virtual std::vector<fs::path> shortcutFolders(std::string_view group) const = 0;
};

// The current user's folders as the platform reports them. On POSIX
// XDG_DATA_HOME, XDG_CONFIG_HOME and user-dirs.dirs; run as root without
// XDG_DATA_HOME set, the system folders under /usr/local/share and /etc/xdg.
std::unique_ptr<ShellIntegration> makeSystemShell();
// The same kinds of files below `root`, for tests.
std::unique_ptr<ShellIntegration> makeShellBelow(const fs::path& root);

// A program group name that can be a folder name: the product title and
// other plain names (no separators, not "." or "..", at most 49 bytes).
bool isPlainGroupName(std::string_view group);
// A shortcut name that can be a file name (not empty, at most 49 bytes, no
// separators, wildcards, quotes, control characters or trailing dot/space).
bool isValidShortcutName(std::string_view name);

// Paths compared the platform's way (case-insensitive on Windows), after
// lexical normalisation.
bool samePath(const fs::path& a, const fs::path& b);
// `inner` lies strictly inside `outer` (lexically, the platform's case rule).
bool isStrictlyInside(const fs::path& inner, const fs::path& outer);

} // namespace pj::install
