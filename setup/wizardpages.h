#pragma once
// The five wizard pages and the banner, as children of the wizard host, with
// their controls at the places of their dialog templates. Each is made fresh
// for every visit.

#include <QString>

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace pj::setup {

// Banner 138: picture 139 over 338 x 51 units at (1, 0).
QWidget* makeBanner(QWidget* host);

// Page 121: the welcome picture, the heading painted at (215, 30), the
// texts and the author, contact and ownership lines; white.
QWidget* makeWelcomePage(QWidget* host);

struct LicencePage {
    QWidget* page;
    QRadioButton* accept;  // 1013
    QRadioButton* decline; // 1014
};
// Page 123: the licence in edit 1012 and the two choices.
LicencePage makeLicencePage(QWidget* host, const QString& licence, bool accepted);

struct FolderPage {
    QWidget* page;
    QLineEdit* edit;     // 1017
    QPushButton* browse; // 1018
};
// Page 126: the install folder and "浏览(R) . . .".
FolderPage makeFolderPage(QWidget* host, const QString& folder);

struct ShortcutPage {
    QWidget* page;
    QLineEdit* name;    // 1020
    QCheckBox* desktop; // 1019, checked on every visit
};
ShortcutPage makeShortcutPage(QWidget* host, const QString& name);

struct CopyingPage {
    QWidget* page;
    QProgressBar* progress; // 1021, 0..100
};
CopyingPage makeCopyingPage(QWidget* host);

} // namespace pj::setup
