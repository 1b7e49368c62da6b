#include "setup/setupwindow.h"

#include "install/product.h"
#include "install/text.h"
#include "setup/folderbrowser.h"
#include "setup/setupdialogs.h"
#include "setup/wizardpages.h"
#include "skin/centre.h"
#include "skin/compactcaption.h"
#include "skin/fonts.h"
#include "skin/setuppalette.h"
#include "skin/units.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace pj::setup {

using install::WizardLogic;

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

// The wizard host: frame painting behind the pages and buttons.
class HostWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        skin::paintSetupFrame(p, rect());
    }
};

} // namespace

SetupWindow::SetupWindow(SetupContext context, QWidget* parent)
    : QWidget(parent)
    , context_(std::move(context))
    , logic_(context_.defaultFolder, [this](const install::InstallOptions& o) {
        install::Installer installer(*context_.source, context_.payload, *context_.shell);
        return installer.check(o);
    }) {
    setObjectName(QStringLiteral("setupWindow"));
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowTitle(fromUtf8(std::string(install::kSetupTitle)));
    skin::SetupPalette::apply(this);
    setFont(skin::dialogFont());

    host_ = new HostWidget(this);
    host_->setObjectName(QStringLiteral("host120"));
    host_->setAutoFillBackground(false);
    const QSize hostSize = skin::dluSize(342, 224);
    host_->setGeometry(0, skin::CompactCaption::kHeight, hostSize.width(), hostSize.height());
    setFixedSize(hostSize.width(), hostSize.height() + skin::CompactCaption::kHeight);
    new skin::CompactCaption(this, skin::CompactCaption::Program::Setup,
                             skin::CompactCaption::Kind::MainWindow, setupPixmap(103, {14, 14}),
                             setupPixmap(106, {14, 14}));

    back_ = new QPushButton(QStringLiteral("<<  返回"), host_);
    back_->setObjectName(QStringLiteral("button1012"));
    back_->setGeometry(skin::dlu(153, 194, 50, 16));
    next_ = new QPushButton(host_);
    next_->setObjectName(QStringLiteral("button1010"));
    next_->setGeometry(skin::dlu(215, 194, 50, 16));
    next_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("取消"), host_);
    cancel_->setObjectName(QStringLiteral("button1011"));
    cancel_->setGeometry(skin::dlu(277, 194, 47, 16));
    connect(next_, &QPushButton::clicked, this, [this] { handle(logic_.next(pageValues())); });
    connect(back_, &QPushButton::clicked, this, [this] { handle(logic_.back()); });
    connect(cancel_, &QPushButton::clicked, this, [this] { handle(logic_.cancel()); });
    showStep();
}

SetupWindow::~SetupWindow() {
    cancelFlag_ = true;
    if (worker_.joinable())
        worker_.join();
}

void SetupWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    skin::centreOnScreen(this);
}

WizardLogic::PageValues SetupWindow::pageValues() const {
    WizardLogic::PageValues v;
    if (folderEdit_)
        v.folderText = folderEdit_->text().toStdString();
    if (nameEdit_)
        v.shortcutName = nameEdit_->text().toStdString();
    if (desktopBox_)
        v.desktop = desktopBox_->isChecked();
    return v;
}

void SetupWindow::showStep() {
    const WizardLogic::View v = logic_.view();
    // Each visit makes a fresh page from the logic's values.
    delete page_; // the host's buttons, not the page's, lead here

    folderEdit_ = nullptr;
    nameEdit_ = nullptr;
    desktopBox_ = nullptr;
    progress_ = nullptr;
    if (v.banner && !banner_) {
        banner_ = makeBanner(host_);
        banner_->show();
    } else if (!v.banner && banner_) {
        delete banner_;
    }
    page_ = makePage(v.step);
    if (page_)
        page_->show();
    back_->setVisible(v.backVisible);
    next_->setVisible(v.nextVisible);
    next_->setEnabled(v.nextEnabled);
    next_->setText(fromUtf8(v.nextText));
    cancel_->setVisible(true);
}

QWidget* SetupWindow::makePage(WizardLogic::Step step) {
    switch (step) {
    case WizardLogic::Step::Welcome:
        return makeWelcomePage(host_);
    case WizardLogic::Step::Licence: {
        LicencePage p =
            makeLicencePage(host_, loadLicenceText(context_.startFolder), logic_.licenceAccepted());
        connect(p.accept, &QRadioButton::clicked, this, [this] {
            logic_.chooseLicence(true);
            next_->setEnabled(logic_.view().nextEnabled);
        });
        connect(p.decline, &QRadioButton::clicked, this, [this] {
            logic_.chooseLicence(false);
            next_->setEnabled(logic_.view().nextEnabled);
        });
        return p.page;
    }
    case WizardLogic::Step::Folder: {
        FolderPage p = makeFolderPage(host_, fromUtf8(logic_.installPath()));
        folderEdit_ = p.edit;
        connect(p.browse, &QPushButton::clicked, this, [this] { browse(); });
        return p.page;
    }
    case WizardLogic::Step::Shortcut: {
        ShortcutPage p = makeShortcutPage(host_, fromUtf8(logic_.shortcutName()));
        nameEdit_ = p.name;
        desktopBox_ = p.desktop;
        return p.page;
    }
    case WizardLogic::Step::Copying: {
        CopyingPage p = makeCopyingPage(host_);
        progress_ = p.progress;
        return p.page;
    }
    case WizardLogic::Step::Finished:
        break;
    }
    return nullptr;
}

void SetupWindow::handle(const WizardLogic::Outcome& outcome) {
    switch (outcome.action) {
    case WizardLogic::Action::None:
        break;
    case WizardLogic::Action::ShowStep:
        showStep();
        break;
    case WizardLogic::Action::AskExit:
        if (ExitConfirmDialog::run(this) == 1) {
            closeAllowed_ = true;
            close();
        }
        break;
    case WizardLogic::Action::Notice:
        NoticeDialog::run(fromUtf8(outcome.notice), this);
        if (logic_.step() == WizardLogic::Step::Finished) {
            closeAllowed_ = true;
            close();
        }
        break;
    case WizardLogic::Action::StartInstall:
        showStep();
        startInstall();
        break;
    case WizardLogic::Action::RequestCancel:
        cancelFlag_ = true;
        break;
    case WizardLogic::Action::Close:
        closeAllowed_ = true;
        close();
        break;
    }
}

void SetupWindow::browse() {
    logic_.browseFrom(folderEdit_ ? folderEdit_->text().toStdString() : std::string());
    FolderBrowser browser(fromUtf8(logic_.installPath()), this);
    if (browser.runModal() != 1)
        return;
    if (const auto problem = logic_.browserAccepted(browser.chosenPath().toStdString())) {
        NoticeDialog::run(fromUtf8(*problem), this);
        return;
    }
    if (folderEdit_)
        folderEdit_->setText(fromUtf8(logic_.installPath()));
}

void SetupWindow::startInstall() {
    cancelFlag_ = false;
    const install::InstallOptions options = logic_.installOptions();
    worker_ = std::jthread([this, options] {
        install::Installer installer(*context_.source, context_.payload, *context_.shell);
        install::InstallOutcome outcome = installer.run(options, cancelFlag_, [this](int percent) {
            QMetaObject::invokeMethod(
                this,
                [this, percent] {
                    if (progress_)
                        progress_->setValue(percent);
                },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, o = std::move(outcome)]() mutable { installEnded(std::move(o)); },
            Qt::QueuedConnection);
    });
}

void SetupWindow::installEnded(install::InstallOutcome outcome) {
    if (worker_.joinable())
        worker_.join();
    outcome_ = outcome;
    Q_EMIT installFinished();
    if (outcome.status == install::InstallOutcome::Status::Installed && !outcome.notes.empty()) {
        QString notes;
        for (const auto& n : outcome.notes)
            notes += fromUtf8(n) + QLatin1Char('\n');
        NoticeDialog::run(notes.trimmed(), this);
    }
    handle(logic_.installEnded(outcome));
}

void SetupWindow::closeEvent(QCloseEvent* e) {
    if (closeAllowed_) {
        e->accept();
        return;
    }
    const WizardLogic::Outcome o = logic_.closeRequested();
    if (o.action == WizardLogic::Action::RequestCancel) {
        // Closing while copying is a cancel: the window stays until the
        // rollback has run, then closes by itself.
        cancelFlag_ = true;
        e->ignore();
        return;
    }
    e->accept();
}

} // namespace pj::setup
