// The setup wizard and the remover window, driven through their widgets by
// object name: every transition of the three buttons, the licence choice and
// the readme, the folder notice and the folder browser, the desktop box, the
// exit confirmation, a full installation, cancel and close while copying, a
// file that cannot be written, and the remover's press.
#include "install/payload.h"
#include "install/product.h"
#include "install/record.h"
#include "install/shell.h"
#include "remover/removerwindow.h"
#include "setup/folderbrowser.h"
#include "setup/setupwindow.h"
#include "shell/dialogs/modal.h"
#include "skin/compactcaption.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace pj;
using pj::shell::ModalSeam;
namespace fs = std::filesystem;

namespace {

const QString kTitle = QString::fromUtf8(install::kProductTitle.data(),
                                         static_cast<qsizetype>(install::kProductTitle.size()));

// The product as the tests carry it. Fetches from a thread other than the
// one that made it (the install worker) can be held at a gate, so a test can
// act while copying is under way.
class GatedPayload : public install::PayloadSource {
public:
    GatedPayload()
        : owner_(std::this_thread::get_id()) {
        memory_.add(install::kProgramResource, "program");
        memory_.add(install::kHelpResource, "help");
        memory_.add(install::kCatalogueResource, "catalogue");
        memory_.add(install::kFirstFurtherResource, "icon");
        memory_.add(install::kRemoverResource, "remover");
    }
    std::vector<install::PayloadEntry> entries{{install::kProgramResource, "PROJECTOR"},
                                               {install::kHelpResource, "projector.CHM"},
                                               {install::kCatalogueResource, "projector.mdb"},
                                               {install::kFirstFurtherResource, "projector.png"}};

    // The worker asks for each resource twice: when it checks the payload,
    // then when it writes the file. The gate holds the write of the help
    // file, the second file (never for more than 10 s, so a failing test
    // cannot hang).
    std::optional<std::span<const std::byte>> resource(int number) const override {
        if (std::this_thread::get_id() != owner_ && number == install::kHelpResource) {
            std::unique_lock lock(mutex_);
            if (++helpFetches_ % 2 == 0)
                cv_.wait_for(lock, std::chrono::seconds(10), [this] { return !closed_; });
        }
        return memory_.resource(number);
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            closed_ = false;
        }
        cv_.notify_all();
    }

private:
    install::MemoryPayload memory_;
    std::thread::id owner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool closed_ = false;
    mutable int helpFetches_ = 0;
};

struct Fixture {
    QTemporaryDir dir;
    GatedPayload payload;
    std::unique_ptr<install::ShellIntegration> shell;
    QString folder;

    Fixture() {
        shell = install::makeShellBelow(dir.path().toStdString() + "/shell");
        folder = dir.path() + QStringLiteral("/apps/") + kTitle;
    }
    std::unique_ptr<setup::SetupWindow> window(const QString& startFolder = {}) {
        setup::SetupContext c;
        c.source = &payload;
        c.payload = payload.entries;
        c.shell = shell.get();
        c.defaultFolder = folder.toStdString();
        c.startFolder = startFolder.isEmpty() ? dir.path() : startFolder;
        auto w = std::make_unique<setup::SetupWindow>(std::move(c));
        w->show();
        return w;
    }
    bool nothingInstalled() const {
        return !QFile::exists(folder) && QDir(dir.path() + QStringLiteral("/shell"))
                                             .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                             .isEmpty();
    }
};

template <typename T> T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

void click(QWidget* w, const char* name) {
    auto* b = child<QAbstractButton>(w, name);
    QVERIFY2(b, name);
    QVERIFY2(b->isVisible() && b->isEnabled(), name);
    b->click();
}

QString nextText(QWidget* w) {
    return child<QPushButton>(w, "button1010")->text();
}

// Through the licence and folder pages to the shortcut page.
void toShortcutPage(QWidget* w) {
    click(w, "button1010");
    click(w, "button1010");
    click(w, "button1010");
}

} // namespace

class TestSetupGui : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }

    void welcome_hasNoBackNoBannerAndNextContinues() {
        Fixture f;
        auto w = f.window();
        QCOMPARE(w->windowTitle(), QStringLiteral("多媒体集中控制系统"));
        QVERIFY(child<QWidget>(w.get(), "page121"));
        QVERIFY(!child<QWidget>(w.get(), "banner138"));
        QVERIFY(!child<QPushButton>(w.get(), "button1012")->isVisible());
        QCOMPARE(nextText(w.get()), QStringLiteral("继续  >>"));
        click(w.get(), "button1010");
        QTRY_VERIFY(!child<QWidget>(w.get(), "page121"));
        QVERIFY(child<QWidget>(w.get(), "page123")->isVisible());
        QVERIFY(child<QWidget>(w.get(), "banner138")->isVisible());
        QVERIFY(child<QPushButton>(w.get(), "button1012")->isVisible());
    }

    void licence_declineDisablesNextAndIsRemembered() {
        Fixture f;
        auto w = f.window();
        click(w.get(), "button1010");
        QVERIFY(child<QRadioButton>(w.get(), "radio1013")->isChecked());
        QVERIFY(child<QPlainTextEdit>(w.get(), "edit1012")->toPlainText().contains(kTitle));
        child<QRadioButton>(w.get(), "radio1014")->click();
        QVERIFY(!child<QPushButton>(w.get(), "button1010")->isEnabled());
        click(w.get(), "button1012"); // back to welcome: Next works there
        QTRY_VERIFY(child<QWidget>(w.get(), "page121"));
        QVERIFY(child<QPushButton>(w.get(), "button1010")->isEnabled());
        QTRY_VERIFY(!child<QWidget>(w.get(), "banner138"));
        click(w.get(), "button1010");
        QTRY_VERIFY(child<QWidget>(w.get(), "page123"));
        QVERIFY(child<QRadioButton>(w.get(), "radio1014")->isChecked());
        QVERIFY(!child<QPushButton>(w.get(), "button1010")->isEnabled());
        child<QRadioButton>(w.get(), "radio1013")->click();
        QVERIFY(child<QPushButton>(w.get(), "button1010")->isEnabled());
    }

    void licence_readmeInTheStartFolderReplacesItWhole() {
        Fixture f;
        QTemporaryDir start;
        QFile readme(start.path() + QStringLiteral("/readme.txt"));
        QVERIFY(readme.open(QIODevice::WriteOnly));
        const QByteArray gbk =
            QByteArray("\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9 ") + QByteArray(6000, 'x') + "END";
        readme.write(gbk); // "许可协议" in GBK, then more than 5,000 bytes
        readme.close();
        auto w = f.window(start.path());
        click(w.get(), "button1010");
        const QString shown = child<QPlainTextEdit>(w.get(), "edit1012")->toPlainText();
        QVERIFY(shown.startsWith(QStringLiteral("许可协议 ")));
        QVERIFY(shown.endsWith(QStringLiteral("END")));
    }

    void folder_refusedTextShowsTheNoticeAndStays() {
        Fixture f;
        auto w = f.window();
        click(w.get(), "button1010");
        click(w.get(), "button1010");
        QTRY_VERIFY(child<QLineEdit>(w.get(), "edit1017"));
        QCOMPARE(child<QLineEdit>(w.get(), "edit1017")->text(), f.folder);
        child<QLineEdit>(w.get(), "edit1017")->setText(QStringLiteral("relative/folder"));
        QString notice;
        ModalSeam::queueHandler([&](QDialog& d) {
            notice = child<QLabel>(&d, "label1031")->text();
            return 1;
        });
        click(w.get(), "button1010");
        QCOMPARE(ModalSeam::seen(), QStringList{QStringLiteral("notice139")});
        QVERIFY(notice.startsWith(QStringLiteral("使用非法路径，正常路径如：")));
        QVERIFY(child<QWidget>(w.get(), "page126"));
        QCOMPARE(nextText(w.get()), QStringLiteral("继续  >>"));
    }

    void folder_browserOkAppendsTheProductTitle() {
        Fixture f;
        auto w = f.window();
        click(w.get(), "button1010");
        click(w.get(), "button1010");
        QTRY_VERIFY(child<QPushButton>(w.get(), "button1018"));
        const QString chosen = f.dir.path();
        QString title;
        QString shownFirst;
        ModalSeam::queueHandler([&](QDialog& d) {
            title = d.windowTitle();
            shownFirst = child<QLineEdit>(&d, "edit1022")->text();
            child<QLineEdit>(&d, "edit1022")->setText(chosen);
            child<QPushButton>(&d, "button1024")->click();
            return d.result();
        });
        click(w.get(), "button1018");
        QCOMPARE(ModalSeam::seen(), QStringList{QStringLiteral("browser131")});
        QCOMPARE(title, QStringLiteral("选择目录"));
        QCOMPARE(shownFirst, f.folder);
        QCOMPARE(child<QLineEdit>(w.get(), "edit1017")->text(),
                 chosen + QStringLiteral("/") + kTitle);
        // Cancel changes nothing.
        ModalSeam::queueAnswer(0);
        click(w.get(), "button1018");
        QCOMPARE(child<QLineEdit>(w.get(), "edit1017")->text(),
                 chosen + QStringLiteral("/") + kTitle);
    }

    void browser_listsFoldersOnDemandAndShowsThePathOfTheSelection() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("a/b1"));
        QDir(dir.path()).mkpath(QStringLiteral("a/b2"));
        QDir(dir.path()).mkpath(QStringLiteral(".hidden"));
        setup::FolderBrowser browser(dir.path(), nullptr);
        auto* tree = child<QTreeWidget>(&browser, "tree1023");
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("/"));
        // Walk down from "/" to the temporary folder, expanding on the way.
        QTreeWidgetItem* item = tree->topLevelItem(0);
        for (const QString& part : dir.path().split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            item->setExpanded(true);
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; i < item->childCount(); ++i)
                if (item->child(i)->text(0) == part)
                    next = item->child(i);
            QVERIFY2(next, qPrintable(part));
            item = next;
        }
        tree->setCurrentItem(item);
        QCOMPARE(child<QLineEdit>(&browser, "edit1022")->text(), dir.path());
        QCOMPARE(item->childCount(), 1); // "a"; the hidden folder is not listed
        item->child(0)->setExpanded(true);
        QCOMPARE(item->child(0)->childCount(), 2);
        QCOMPARE(setup::FolderBrowser::itemPath(item->child(0)->child(1)),
                 dir.path() + QStringLiteral("/a/b2"));
    }

    void shortcut_backRenamesNextAndTheDesktopBoxIsCheckedEveryVisit() {
        Fixture f;
        auto w = f.window();
        toShortcutPage(w.get());
        QTRY_VERIFY(child<QCheckBox>(w.get(), "check1019"));
        QCOMPARE(nextText(w.get()), QStringLiteral("安装"));
        QVERIFY(child<QCheckBox>(w.get(), "check1019")->isChecked());
        child<QCheckBox>(w.get(), "check1019")->setChecked(false);
        child<QLineEdit>(w.get(), "edit1020")->setText(QStringLiteral("typed and left"));
        click(w.get(), "button1012");
        QTRY_VERIFY(child<QWidget>(w.get(), "page126"));
        QCOMPARE(nextText(w.get()), QStringLiteral("继续"));
        click(w.get(), "button1010");
        QTRY_VERIFY(child<QCheckBox>(w.get(), "check1019"));
        QVERIFY(child<QCheckBox>(w.get(), "check1019")->isChecked());
        QCOMPARE(child<QLineEdit>(w.get(), "edit1020")->text(), QStringLiteral("Vantor"));
    }

    void cancel_asksOnEveryStepBeforeCopying() {
        Fixture f;
        auto w = f.window();
        for (int step = 0; step < 4; ++step) {
            ModalSeam::queueAnswer(0); // "取消": stay
            click(w.get(), "button1011");
            QVERIFY(w->isVisible());
            if (step < 3)
                click(w.get(), "button1010");
        }
        QCOMPARE(ModalSeam::seen().count(QStringLiteral("exit125")), 4);
        ModalSeam::queueAnswer(1); // "退出"
        click(w.get(), "button1011");
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(f.nothingInstalled());
    }

    void install_copiesEverythingAndClosesWithoutAFinalPage() {
        Fixture f;
        auto w = f.window();
        toShortcutPage(w.get());
        click(w.get(), "button1010");
        QVERIFY(child<QProgressBar>(w.get(), "progress1021"));
        QVERIFY(!child<QPushButton>(w.get(), "button1012")->isVisible());
        QVERIFY(!child<QPushButton>(w.get(), "button1010")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        QVERIFY(ModalSeam::seen().isEmpty()); // no message at the end
        QVERIFY(w->outcome());
        QCOMPARE(w->outcome()->status, install::InstallOutcome::Status::Installed);
        QVERIFY(QFile::exists(f.folder + QStringLiteral("/PROJECTOR")));
        const auto record =
            install::readRecord((f.folder + QStringLiteral("/qR.ini")).toStdString());
        QVERIFY(record);
        QCOMPARE(record->files.size(), f.payload.entries.size() + 5); // 4 menu files and desktop
    }

    void cancelWhileCopying_rollsBackWithoutAsking() {
        Fixture f;
        auto w = f.window();
        toShortcutPage(w.get());
        f.payload.close();
        click(w.get(), "button1010");
        QTRY_COMPARE(child<QProgressBar>(w.get(), "progress1021")->value(), 25);
        click(w.get(), "button1011");
        QVERIFY(w->isVisible());
        f.payload.open();
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        QVERIFY(ModalSeam::seen().isEmpty());
        QCOMPARE(w->outcome()->status, install::InstallOutcome::Status::Cancelled);
        QVERIFY(f.nothingInstalled());
    }

    void closingWhileCopying_isACancelNotHalfAnInstallation() {
        Fixture f;
        auto w = f.window();
        toShortcutPage(w.get());
        f.payload.close();
        click(w.get(), "button1010");
        QTRY_COMPARE(child<QProgressBar>(w.get(), "progress1021")->value(), 25);
        w->close();              // the caption's close or the window manager
        QVERIFY(w->isVisible()); // stays for the rollback
        f.payload.open();
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        QCOMPARE(w->outcome()->status, install::InstallOutcome::Status::Cancelled);
        QVERIFY(f.nothingInstalled());
    }

    void fileThatCannotBeWritten_isNamedAndRolledBack() {
        Fixture f;
        QDir().mkpath(f.folder + QStringLiteral("/projector.CHM"));
        auto w = f.window();
        toShortcutPage(w.get());
        QString notice;
        ModalSeam::queueHandler([&](QDialog& d) {
            notice = child<QLabel>(&d, "label1031")->text();
            return 1;
        });
        click(w.get(), "button1010");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        QVERIFY2(notice.contains(QStringLiteral("projector.CHM")), qPrintable(notice));
        QCOMPARE(w->outcome()->status, install::InstallOutcome::Status::Failed);
        QCOMPARE(QDir(f.folder).entryList(QDir::Files), QStringList());
    }

    void caption_compactLayoutOfSetupAndRemover() {
        Fixture f;
        auto w = f.window();
        auto* caption = child<skin::CompactCaption>(w.get(), "caption");
        QCOMPARE(caption->height(), 24);
        QCOMPARE(caption->width(), w->width());
        QCOMPARE(child<QWidget>(caption, "button104")->geometry(),
                 QRect(w->width() - 20, 5, 14, 14));
        QCOMPARE(child<QWidget>(caption, "button118")->geometry(),
                 QRect(w->width() - 38, 5, 14, 14));
        QCOMPARE(child<QWidget>(caption, "icon117")->geometry(), QRect(4, 3, 10, 10));
        remover::RemoverWindow r(f.dir.path().toStdString(), *f.shell);
        auto* rc = child<skin::CompactCaption>(&r, "caption");
        QCOMPARE(child<QWidget>(rc, "button104")->geometry(), QRect(r.width() - 20, 7, 10, 10));
        QCOMPARE(child<QWidget>(rc, "button118")->geometry(), QRect(r.width() - 35, 7, 10, 10));
        QCOMPARE(r.windowTitle(), QStringLiteral(" 卸载程序"));
    }

    void remover_pressRemovesTheInstallationAndCloses() {
        Fixture f;
        {
            auto w = f.window();
            toShortcutPage(w.get());
            click(w.get(), "button1010");
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        }
        remover::RemoverWindow r(f.folder.toStdString(), *f.shell);
        r.show();
        QVERIFY(!r.outcome());
        click(&r, "button1026");
        QTRY_VERIFY(!r.isVisible());
        QVERIFY(r.outcome() && r.outcome()->complete());
        QCOMPARE(child<QProgressBar>(&r, "progress1027")->value(), 100);
        QCOMPARE(QDir(f.folder).entryList(QDir::Files), QStringList{QStringLiteral("remover")});
        QVERIFY(ModalSeam::seen().isEmpty());
    }

    void remover_keptCatalogueIsNamedToTheUser() {
        Fixture f;
        {
            auto w = f.window();
            toShortcutPage(w.get());
            click(w.get(), "button1010");
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        }
        QFile mdb(f.folder + QStringLiteral("/projector.mdb"));
        QVERIFY(mdb.open(QIODevice::Append));
        mdb.write("a model added by the technician");
        mdb.close();
        remover::RemoverWindow r(f.folder.toStdString(), *f.shell);
        r.show();
        QString notice;
        ModalSeam::queueHandler([&](QDialog& d) {
            notice = child<QLabel>(&d, "label1031")->text();
            return 1;
        });
        click(&r, "button1026");
        QTRY_VERIFY(!r.isVisible());
        QVERIFY2(notice.contains(f.folder), qPrintable(notice));
        QVERIFY(QFile::exists(f.folder + QStringLiteral("/projector.mdb")));
    }
};

QTEST_MAIN(TestSetupGui)
#include "test_setup_gui.moc"
