#include "remover/removerwindow.h"

#include "install/product.h"
#include "setup/setupdialogs.h"
#include "skin/centre.h"
#include "skin/compactcaption.h"
#include "skin/fonts.h"
#include "skin/setuppalette.h"
#include "skin/units.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace pj::remover {

namespace {

// Frame painting, then white behind the banner.
class PanelWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        skin::paintSetupFrame(p, rect());
        p.fillRect(QRect(QPoint(3, 0), QPoint(width() - 4, 79)), Qt::white);
    }
};

} // namespace

QString removalReport(const install::RemovalOutcome& outcome) {
    QStringList lines;
    if (outcome.keptCatalogue)
        lines << QString::fromStdString(install::keptCatalogueMessage(*outcome.keptCatalogue));
    for (const auto& p : outcome.problems)
        lines << QString::fromStdString(p);
    return lines.join(QLatin1Char('\n'));
}

RemoverWindow::RemoverWindow(install::fs::path installFolder,
                             const install::ShellIntegration& shell, QWidget* parent)
    : QWidget(parent)
    , installFolder_(std::move(installFolder))
    , shell_(shell) {
    setObjectName(QStringLiteral("removerWindow"));
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowTitle(QString::fromStdString(std::string(install::kRemoverTitle)));
    skin::SetupPalette::apply(this);
    setFont(skin::dialogFont());

    auto* panel = new PanelWidget(this);
    panel->setObjectName(QStringLiteral("panel120"));
    const QSize size = skin::dluSize(342, 224);
    panel->setGeometry(0, skin::CompactCaption::kHeight, size.width(), size.height());
    setFixedSize(size.width(), size.height() + skin::CompactCaption::kHeight);
    new skin::CompactCaption(this, skin::CompactCaption::Program::Remover,
                             skin::CompactCaption::Kind::MainWindow,
                             setup::setupPixmap(103, {14, 14}), setup::setupPixmap(106, {14, 14}));

    auto* banner = new QLabel(panel);
    banner->setObjectName(QStringLiteral("picture139"));
    banner->setGeometry(skin::dlu(1, 0, 338, 51));
    banner->setPixmap(setup::setupPixmap(139, banner->size()));
    progress_ = new QProgressBar(panel);
    progress_->setObjectName(QStringLiteral("progress1027"));
    progress_->setGeometry(skin::dlu(25, 104, 284, 14));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    button_ = new QPushButton(QStringLiteral("卸载"), panel);
    button_->setObjectName(QStringLiteral("button1026"));
    button_->setGeometry(skin::dlu(144, 151, 55, 16));
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, [this] { uninstall(); });
}

void RemoverWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    skin::centreOnScreen(this);
}

void RemoverWindow::uninstall() {
    if (outcome_)
        return; // one press only
    button_->setEnabled(false);
    outcome_ = install::removeInstallation(installFolder_, shell_, [this](int percent) {
        progress_->setValue(percent);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    const QString report = removalReport(*outcome_);
    if (!report.isEmpty())
        setup::NoticeDialog::run(report, this, skin::CompactCaption::Program::Remover);
    close();
}

} // namespace pj::remover
