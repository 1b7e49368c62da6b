#pragma once
// The help of the code writer. The help button opens "PROJECTOR.chm" from the
// working folder with the desktop's handler for it; a missing file does
// nothing; when no program is registered for compiled help files, the same
// pages, compiled into the program, open in a help window of its own.

#include "skin/skinneddialog.h"

#include <functional>

#include <QString>
#include <QUrl>

class QTextBrowser;
class QTreeWidget;

namespace pj::shell {

class HelpOpener {
public:
    enum class Outcome {
        Missing,   // no help file in the working folder: nothing happened
        Desktop,   // handed to the desktop's viewer
        OwnWindow, // shown in the program's help window
    };

    struct Platform {
        std::function<bool(const QString& path)> hasViewer; // a handler for the file's type
        std::function<bool(const QUrl& url)> openUrl;       // hand to the desktop
        std::function<void()> showOwnHelp;                  // the help window
    };

    // The real desktop; the help window is shown over `owner`.
    explicit HelpOpener(QWidget* owner);
    explicit HelpOpener(Platform platform)
        : platform_(std::move(platform)) {}

    static QString fileName() { return QStringLiteral("PROJECTOR.chm"); }

    // Opens `file` (default: the help file in the working folder).
    Outcome open(const QString& file = fileName());

private:
    Platform platform_;
};

// The help window: the table of contents on the left, the page on the right.
// Object names: "helpContents" (tree), "helpPage" (browser).
class HelpWindow : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Resource URL of the first page ("qrc:/help/...").
    static QUrl homePage();
    // Titles of the table of contents in order, sections indented by two blanks.
    QStringList contents() const;

private:
    QTreeWidget* toc_;
    QTextBrowser* page_;
};

} // namespace pj::shell
