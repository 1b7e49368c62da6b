#pragma once
// The look and the small dialogs of the Qt setup and remover: the compact
// caption, the setup frame, the notice dialog (139, "提示"), the exit
// confirmation (125, "退出程序"), the pictures of the setup artwork and the
// licence text.

#include "skin/compactcaption.h"

#include <QDialog>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace pj::setup {

// A setup picture (":/setup/<id>.svg") at `size` pixels.
QPixmap setupPixmap(int id, QSize size);

// A skinned setup dialog: borderless, rounded, compact caption (close only),
// setup frame painting, centred when shown.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(const QString& title, QSize sizeInDlu, QWidget* parent,
                skin::CompactCaption::Program program = skin::CompactCaption::Program::Setup);

protected:
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
};

// Dialog 139: the notice text and "Ok"; ends with 1 on "Ok", 0 when closed.
// Long texts (a file name in an error) wrap instead of being cut.
class NoticeDialog : public SetupDialog {
    Q_OBJECT
public:
    NoticeDialog(const QString& text, QWidget* parent,
                 skin::CompactCaption::Program program = skin::CompactCaption::Program::Setup);
    static int run(const QString& text, QWidget* parent,
                   skin::CompactCaption::Program program = skin::CompactCaption::Program::Setup);
};

// Dialog 125: "退出" ends with 1 (leave setup), "取消" and closing with 0.
class ExitConfirmDialog : public SetupDialog {
    Q_OBJECT
public:
    explicit ExitConfirmDialog(QWidget* parent);
    static int run(QWidget* parent);
};

// The licence text: "readme.txt" in `startFolder` when it exists (UTF-8, or
// GBK when it is not UTF-8), else the built-in text. Shown whole.
QString loadLicenceText(const QString& startFolder);

} // namespace pj::setup
