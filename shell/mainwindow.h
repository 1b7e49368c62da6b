#pragma once
// The program's one top-level window, "中控写码": borderless with rounded
// corners, the caption strip with minimise and close, and the main panel below
// the strip. It is centred on the screen whenever it is shown or hidden.
// Closing it while a controller operation runs stops the operation at its next
// pause, shows that in the caption, and closes once it has ended.
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

private:
    MainPanel* panel_ = nullptr;
    skin::CaptionBar* caption_ = nullptr;
    bool closeWhenIdle_ = false;
};

} // namespace pj::shell
