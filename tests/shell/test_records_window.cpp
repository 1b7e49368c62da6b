// The commissioning record in PROJECTOR, through the real widgets on the
// offscreen platform: the room asked with each write and remembered, the
// write and its echo in the record, a cancelled question sending nothing, a
// damaged record at start-up, and the code list's "记录…" and "房间报告…".

#include "record/recorder.h"
#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "shell/records/panelrecording.h"
#include "sim/simulator.h"
#include "tests/shell/detection_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace pj;
using namespace pj::shell;
using pj::shell::testing::letDetectionRun;

namespace {

const QString kCatalogue = QStringLiteral(PJ_DELIVERED_CATALOGUE);

// The room question: `name` typed and "确定", or "取消" when `name` is null.
// `offered` gets the name the dialog offered.
void answerRoom(const QString& name, QString* offered = nullptr) {
    ModalSeam::queueHandler([name, offered](QDialog& d) {
        auto* combo = d.findChild<QComboBox*>(QStringLiteral("comboRoom"));
        if (offered)
            *offered = combo->currentText();
        if (name.isNull()) {
            d.findChild<QPushButton*>(QStringLiteral("buttonRoomCancel"))->click();
        } else {
            combo->setEditText(name);
            d.findChild<QPushButton*>(QStringLiteral("buttonRoomOk"))->click();
        }
        return d.result();
    });
}

template <class T> T* child(QWidget* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("no widget %s", name);
    return w;
}

QByteArray hashOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

struct Pick {
    QString company;
    QString model;
};

// A model with at least two keys of distinct codes at a speed the edition runs.
std::optional<Pick> pickModel(ProjectorApp& app) {
    auto tree = app.catalogue().loadTree();
    if (!tree)
        return std::nullopt;
    for (const auto& m : tree->models) {
        auto r = app.catalogue().loadModel(m.id);
        if (!r || r->keys.size() < 2 || r->baud < 1200 || r->baud > 38400 ||
            r->keys[0].code == r->keys[1].code)
            continue;
        for (const auto& c : tree->companies)
            if (c.id == m.companyId)
                return Pick{c.name, m.name};
    }
    return std::nullopt;
}

} // namespace

class TestRecordsWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ProgramOptions options() const {
        ProgramOptions o;
        o.simulate = true;
        o.answerByte = 0x01;
        o.catalogueFile = kCatalogue;
        o.scanPresentPorts = false;
        o.keepRecord = true;
        o.recordFile = dir_.filePath(QStringLiteral("record.db"));
        return o;
    }
    std::vector<record::WriteEntry> recorded() const {
        record::Recorder r;
        if (r.open(dir_.filePath(QStringLiteral("record.db")), false) != record::OpenStatus::Opened)
            return {};
        return r.writes({}).value_or(std::vector<record::WriteEntry>{});
    }

private Q_SLOTS:
    void init() {
        ModalSeam::reset();
        QFile::remove(dir_.filePath(QStringLiteral("record.db")));
    }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void writes_askTheRoom_rememberIt_andAreRecordedWithTheirEcho() {
        letDetectionRun();
        ProjectorApp app(options());
        QVERIFY(app.start());
        QVERIFY(app.recorder().active());
        MainWindow* w = app.mainWindow();
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);

        QString offered;
        answerRoom(QStringLiteral("三楼 301"), &offered);
        child<QPushButton>(w, "button1013")->click();
        QVERIFY(offered.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 8000);
        // The controller echoes the written key.
        const auto& row0 = app.selectedModel().rows[0];
        QVERIFY(!app.simulator()->press(static_cast<int>(row0.keyType)).empty());
        auto& rows = *qobject_cast<CodeListModel*>(child<CodeListView>(w, "list1010")->model());
        QTRY_COMPARE_WITH_TIMEOUT(rows.status(0), link::RowStatus::Confirmed, 3000);

        // The card: the room is offered again.
        child<QLineEdit>(w, "edit1086")->setText(QStringLiteral("A-301"));
        answerRoom(QStringLiteral("三楼 301"), &offered);
        child<QPushButton>(w, "button1087")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 4, 5000);
        QCOMPARE(offered, QStringLiteral("三楼 301"));

        const auto writes = recorded();
        QCOMPARE(writes.size(), std::size_t(2));
        const auto& codes = writes[0];
        QCOMPARE(codes.start.kind, record::WriteKind::Codes);
        QCOMPARE(codes.start.program, QStringLiteral("PROJECTOR"));
        QCOMPARE(codes.start.room, QStringLiteral("三楼 301"));
        QCOMPARE(codes.start.company, pick->company);
        QCOMPARE(codes.start.model, pick->model);
        QCOMPARE(codes.start.controller.port, QString::fromStdString(app.simulator()->portPath()));
        QCOMPARE(codes.start.controller.edition, 21);
        QCOMPARE(codes.outcome, record::WriteOutcome::Completed);
        QCOMPARE(codes.keys.size(), std::size_t(1));
        QCOMPARE(codes.keys[0].outcome, record::KeyOutcome::Confirmed);
        QCOMPARE(codes.keys[0].slot, static_cast<int>(row0.keyType));
        QCOMPARE(writes[1].start.kind, record::WriteKind::Card);
        QCOMPARE(writes[1].start.card, QStringLiteral("A-301"));
        QCOMPARE(writes[1].outcome, record::WriteOutcome::Completed);
    }

    void roomQuestionCancelled_sendsAndRecordsNothing() {
        letDetectionRun();
        ProjectorApp app(options());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        const std::size_t logStart = app.simulator()->log().size();
        answerRoom(QString());
        child<QPushButton>(w, "button1049")->click();
        QVERIFY(!w->panel()->busy());
        QVERIFY(child<QPushButton>(w, "button1049")->isEnabled());
        QCOMPARE(app.simulator()->log().size(), logStart);
        QVERIFY(recorded().empty());
    }

    void damagedRecord_startupAsks_andGoesOnWithoutItOnlyWhenTold() {
        const QString path = dir_.filePath(QStringLiteral("record.db"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(5000, '\x7f'));
        }
        const QByteArray before = hashOf(path);

        // "退出": the program ends without a window.
        letDetectionRun();
        ModalSeam::queueHandler([](QDialog&) { return 0; });
        {
            ProjectorApp app(options());
            QVERIFY(!app.start());
            QVERIFY(!app.mainWindow());
            QCOMPARE(ModalSeam::seen().size(), 3);
            QVERIFY(ModalSeam::seen()[1].contains(path));
            QVERIFY(ModalSeam::seen()[1].contains(QStringLiteral("已损坏")));
            QCOMPARE(ModalSeam::seen()[2], QStringLiteral("questionRecord"));
        }
        // "继续（不记录）": the window opens; writes ask no room and keep nothing.
        letDetectionRun();
        ModalSeam::queueHandler([](QDialog& d) {
            const auto buttons = d.findChildren<QPushButton*>();
            for (QPushButton* b : buttons) {
                if (b->text() == QStringLiteral("继续（不记录）"))
                    b->click();
            }
            return d.result();
        });
        ProjectorApp app(options());
        QVERIFY(app.start());
        QVERIFY(!app.recorder().active());
        MainWindow* w = app.mainWindow();
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        child<QPushButton>(w, "button1049")->click(); // no question queued
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        QCOMPARE(app.simulator()->roomBlocks().size(), std::size_t(1));
        auto* list = child<CodeListView>(w, "list1010");
        Q_EMIT list->customContextMenuRequested(QPoint(10, 30));
        auto* menu = w->panel()->recording()->contextMenu();
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("actionRecords"))->isEnabled());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("actionReport"))->isEnabled());
        menu->close();
        QCOMPARE(hashOf(path), before);
    }

    void recordsOfTheShownModel_andTheReport_fromTheCodeListMenu() {
        letDetectionRun();
        ProjectorApp app(options());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        answerRoom(QStringLiteral("102"));
        child<QPushButton>(w, "button1013")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 8000);

        const QString pdf = dir_.filePath(QStringLiteral("报告.pdf"));
        int writesShown = -1;
        int keysShown = -1;
        QString roomShown;
        ModalSeam::queueHandler([&](QDialog& d) { // "记录…"
            auto* writes = d.findChild<QTreeWidget*>(QStringLiteral("listWrites"));
            writesShown = writes->topLevelItemCount();
            roomShown = writesShown > 0 ? writes->topLevelItem(0)->text(1) : QString();
            keysShown = d.findChild<QTreeWidget*>(QStringLiteral("listKeys"))->topLevelItemCount();
            d.findChild<QPushButton*>(QStringLiteral("buttonReport"))->click();
            return 0;
        });
        ModalSeam::queueHandler([&](QDialog& d) { // "房间报告"
            d.findChild<QComboBox*>(QStringLiteral("comboFormat"))->setCurrentIndex(2);
            d.findChild<QLineEdit*>(QStringLiteral("editReportFile"))->setText(pdf);
            d.findChild<QPushButton*>(QStringLiteral("buttonMake"))->click();
            return 0;
        });
        ModalSeam::queueAnswer(0); // "报告已写入 …"

        auto* list = child<CodeListView>(w, "list1010");
        Q_EMIT list->customContextMenuRequested(QPoint(10, 30));
        auto* menu = w->panel()->recording()->contextMenu();
        QCOMPARE(menu->objectName(), QStringLiteral("menuCodeList"));
        auto* records = menu->findChild<QAction*>(QStringLiteral("actionRecords"));
        QVERIFY(records->isEnabled());
        QCOMPARE(records->text(), QStringLiteral("记录…"));
        menu->close();
        records->trigger();

        QCOMPARE(writesShown, 1);
        QCOMPARE(roomShown, QStringLiteral("102"));
        QCOMPARE(keysShown, 1);
        QVERIFY(ModalSeam::seen().last().startsWith(QStringLiteral("报告已写入 ") + pdf));
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
    }
};

QTEST_MAIN(TestRecordsWindow)
#include "test_records_window.moc"
