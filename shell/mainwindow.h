#pragma once
// The program's one top-level window, "中控写码": borderless with rounded
// corners, the caption strip with minimise and close, and the main panel below
// the strip. It is centred on the screen whenever it is shown or hidden.
// Closing it while a controller operation runs stops the operation at its next
// pause, shows that in the caption, and closes once it has ended. When the
// window is activated and the catalogue changed since its tree was read (by
// another program sharing it), the tree is read again.
//
// Object names: "mainWindow"; the strip's are "caption", "button104", "button118".

#include "shell/mainpanel.h"

#include <QWidget>

namespace pj::skin {
class CaptionBar;
}

namespace pj::shell {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static QString title(); // "中控写码"

    explicit MainWindow(PanelContext context, QWidget* parent = nullptr);

    MainPanel* panel() const { return panel_; }
    skin::CaptionBar* captionBar() const { return caption_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    // Activated again: the tree is read again when someone else changed the
    // catalogue meanwhile.
    void changeEvent(QEvent* e) override;

private:
    MainPanel* panel_ = nullptr;
    skin::CaptionBar* caption_ = nullptr;
    bool closeWhenIdle_ = false;
};

} // namespace pj::shell
