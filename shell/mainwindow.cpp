#include "shell/mainwindow.h"

#include "skin/artwork.h"
#include "skin/captionbar.h"
#include "skin/centre.h"
#include "skin/palette.h"
#include "skin/skinneddialog.h"

#include <QCloseEvent>
#include <QPainter>

namespace pj::shell {

QString MainWindow::title() {
    return QStringLiteral("中控写码");
}

MainWindow::MainWindow(PanelContext context, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    skin::makeSkinned(this);
    setWindowTitle(title());
    setWindowIcon(skin::artIcon(skin::Art::ProgramIcon));
    resize(400, 400);

    panel_ = new MainPanel(std::move(context), this);
    // The window takes the panel's width and its height plus the strip.
    const QSize panel = MainPanel::panelSize();
    setFixedSize(panel.width(), panel.height() + skin::CaptionBar::kHeight);
    panel_->move(0, skin::CaptionBar::kHeight);
    panel_->show();

    caption_ = new skin::CaptionBar(this, skin::CaptionBar::Kind::MainWindow);
    caption_->show();

    connect(panel_, &MainPanel::busyChanged, this, [this](bool busy) {
        if (!busy && closeWhenIdle_)
            close();
    });
}

void MainWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        panel_->refreshIfChanged();
}

void MainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    skin::centreOnScreen(this);
}

void MainWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    skin::centreOnScreen(this);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (panel_->busy()) {
        // The controller is being written: the operation is asked to stop at
        // its next pause (a frame begun is finished first), the caption says
        // so, and the window closes when the operation has ended.
        closeWhenIdle_ = true;
        const QString notice = panel_->stopOperation();
        if (!notice.isEmpty())
            setWindowTitle(title() + QStringLiteral(" — ") + notice);
        setCursor(Qt::BusyCursor);
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), skin::PanelPalette::background());
}

} // namespace pj::shell
