// pj-setup-screenshots OUTDIR: shows every page and dialog of setup and the
// remover window in turn on the display it runs on (Xvfb, no window manager)
// and takes each with ImageMagick's "import -window root", cropped to the
// window. Nothing is installed outside a temporary folder.

#include "install/payload.h"
#include "install/product.h"
#include "install/shell.h"
#include "remover/removerwindow.h"
#include "setup/folderbrowser.h"
#include "setup/setupdialogs.h"
#include "setup/setupwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

using namespace pj;

namespace {

QString outDir;
int failures = 0;

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void grab(QWidget& w, const QString& name) {
    w.show();
    w.raise();
    settle(300);
    const QRect area = w.frameGeometry();
    const QString file = QDir(outDir).filePath(name + QStringLiteral(".png"));
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(area.x())
                             .arg(area.y());
    const int rc = QProcess::execute(
        QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                   QStringLiteral("-crop"), crop, QStringLiteral("+repage"), file});
    if (rc != 0) {
        std::cerr << "import failed for " << name.toStdString() << '\n';
        ++failures;
    } else {
        std::cout << file.toStdString() << '\n';
    }
}

void click(QWidget& w, const char* name) {
    if (auto* b = w.findChild<QAbstractButton*>(QString::fromLatin1(name)))
        b->click();
    settle(100);
}

// The carried files, small; the worker's write of the help file waits until
// released, so the copying page can be taken half way.
class HeldPayload : public install::PayloadSource {
public:
    HeldPayload()
        : owner_(std::this_thread::get_id()) {
        for (int n : {install::kProgramResource, install::kHelpResource,
                      install::kCatalogueResource, install::kRemoverResource})
            memory_.add(n, "x");
    }
    std::optional<std::span<const std::byte>> resource(int number) const override {
        if (std::this_thread::get_id() != owner_ && number == install::kHelpResource) {
            std::unique_lock lock(mutex_);
            if (++fetches_ % 2 == 0)
                cv_.wait_for(lock, std::chrono::seconds(20), [this] { return released_; });
        }
        return memory_.resource(number);
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        cv_.notify_all();
    }
    std::vector<install::PayloadEntry> entries{{install::kProgramResource, "PROJECTOR"},
                                               {install::kHelpResource, "PROJECTOR.chm"},
                                               {install::kCatalogueResource, "projector.mdb"}};

private:
    install::MemoryPayload memory_;
    std::thread::id owner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    mutable int fetches_ = 0;
    bool released_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: pj-setup-screenshots OUTDIR\n";
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QTemporaryDir tmp;
    auto shell = install::makeShellBelow(tmp.path().toStdString() + "/shell");
    const QString folder = QDir::homePath() + QStringLiteral("/") +
                           QString::fromStdString(std::string(install::kProductTitle));
    HeldPayload payload;
    setup::SetupContext context;
    context.source = &payload;
    context.payload = payload.entries;
    context.shell = shell.get();
    context.defaultFolder = folder.toStdString();
    context.startFolder = tmp.path();
    setup::SetupWindow window(context);
    settle(1200); // fonts
    grab(window, QStringLiteral("setup-welcome"));
    click(window, "button1010");
    grab(window, QStringLiteral("setup-licence"));
    click(window, "button1010");
    grab(window, QStringLiteral("setup-folder"));
    {
        setup::NoticeDialog notice(QString::fromStdString(install::illegalPathNotice()), &window);
        grab(notice, QStringLiteral("setup-notice"));
        notice.hide();
        setup::ExitConfirmDialog exitDialog(&window);
        grab(exitDialog, QStringLiteral("setup-exit"));
        exitDialog.hide();
        setup::FolderBrowser browser(QDir::homePath(), &window);
        grab(browser, QStringLiteral("setup-browser"));
        browser.hide();
    }
    // The install goes into the temporary folder.
    window.findChild<QLineEdit*>(QStringLiteral("edit1017"))
        ->setText(tmp.path() + QStringLiteral("/") +
                  QString::fromStdString(std::string(install::kProductTitle)));
    click(window, "button1010");
    grab(window, QStringLiteral("setup-shortcut"));
    click(window, "button1010");
    settle(300);
    grab(window, QStringLiteral("setup-copying"));
    payload.release();
    QElapsedTimer t;
    t.start();
    while (window.isVisible() && t.elapsed() < 10000)
        settle(50);

    remover::RemoverWindow remover((tmp.path() + QStringLiteral("/") +
                                    QString::fromStdString(std::string(install::kProductTitle)))
                                       .toStdString(),
                                   *shell);
    grab(remover, QStringLiteral("remover"));
    remover.findChild<QProgressBar*>(QStringLiteral("progress1027"))->setValue(66);
    grab(remover, QStringLiteral("remover-progress"));
    remover.hide();
    setup::NoticeDialog kept(QString::fromStdString(install::keptCatalogueMessage(
                                 (folder + QStringLiteral("/projector.mdb")).toStdString())),
                             nullptr, skin::CompactCaption::Program::Remover);
    grab(kept, QStringLiteral("remover-kept-catalogue"));
    return failures ? 1 : 0;
}
