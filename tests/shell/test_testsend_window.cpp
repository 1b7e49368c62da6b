// "试发" from PROJECTOR's window against the simulated projector on a
// pseudo-terminal, one family at a time: from the code list's context menu and
// from the model editor, the answer shown in the test-send window; a port that
// cannot be opened said plainly; nothing while a write runs; the channel
// listening again as it was, so the controller's echoes still tick rows. Also
// the framing rules read at start, and rules that cannot be read.

#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/dialogs/testsenddialog.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/modeleditor.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "sim/projectorsim.h"
#include "sim/simulator.h"
#include "tests/editor/editor_test_support.h"
#include "tests/shell/detection_test_support.h"

#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace pj;
using namespace pj::shell;
using pj::shell::testing::letDetectionRun;

namespace {

catalogue::ModelInput model(const QString& name, std::uint32_t baud, int parity,
                            const QStringList& codes) {
    catalogue::ModelInput m;
    m.name = name;
    m.baud = baud;
    m.parity = parity;
    for (int i = 0; i < codes.size(); ++i)
        m.keys.push_back({i == 0 ? QStringLiteral("开机") : QStringLiteral("查询"), i, codes[i]});
    return m;
}

// One model per family of the simulated projector, each at its family's speed.
QString makeCatalogue(const QTemporaryDir& dir) {
    const QString file = test::newCatalogue(dir);
    catalogue::CatalogueDb db;
    if (!db.connectFile(file))
        qFatal("cannot open the scratch catalogue");
    const auto add = [&db](const QString& company, const catalogue::ModelInput& m) {
        auto id = db.addCompany(company);
        if (!id || !db.addModel(*id, m))
            qFatal("cannot fill the scratch catalogue");
    };
    add(QStringLiteral("爱普生 Epson"),
        model(QStringLiteral("EB-X41"), 9600, 2,
              {QStringLiteral("50 57 52 20 4f 4e 0d"), QStringLiteral("50 57 52 3f 0d")}));
    add(QStringLiteral("NEC"),
        model(QStringLiteral("P474W"), 38400, 0, {QStringLiteral("02 00 00 00 00 02")}));
    add(QStringLiteral("静音 Quiet"),
        model(QStringLiteral("Q1"), 9600, 0, {QStringLiteral("a9 17 2e 00 00 00 3f 9a")}));
    return file;
}

ProgramOptions options(const QString& catalogueFile) {
    ProgramOptions o;
    o.simulate = true;
    o.answerByte = 0x01;
    o.catalogueFile = catalogueFile;
    o.scanPresentPorts = false;
    return o;
}

struct Projector {
    explicit Projector(sim::ProjectorFamily family)
        : sim([family] {
            sim::ProjectorSimulatorOptions o;
            o.projector.family = family;
            return o;
        }()) {
        std::string error;
        started = sim.start(error);
        if (!started)
            qWarning("projector simulator: %s", error.c_str());
    }
    sim::ProjectorSimulator sim;
    bool started = false;
};

// What the test-send window showed once the result was in.
struct Shown {
    QString sent, heading, answer, note, button;
    bool resultArrived = false;
};

// Lets the test-send window wait for its result, then reads it and closes it.
ModalSeam::Handler readTestSend(Shown& shown) {
    return [&shown](QDialog& d) {
        auto& dialog = static_cast<TestSendDialog&>(d);
        if (dialog.running()) {
            QEventLoop loop;
            QObject::connect(&dialog, &TestSendDialog::resultShown, &loop, &QEventLoop::quit);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        shown.resultArrived = !dialog.running();
        shown.sent = dialog.findChild<QLabel*>(QStringLiteral("labelSent"))->text();
        shown.heading = dialog.findChild<QLabel*>(QStringLiteral("labelAnswer"))->text();
        shown.answer =
            dialog.findChild<QPlainTextEdit*>(QStringLiteral("editAnswer"))->toPlainText();
        shown.note = dialog.findChild<QLabel*>(QStringLiteral("labelNote"))->text();
        shown.button = dialog.findChild<QPushButton*>(QStringLiteral("buttonClose"))->text();
        return 0;
    };
}

// "试发" from the context menu of the code list's row.
bool testSendRow(MainPanel* panel, int row) {
    CodeListView* list = panel->codeList();
    const QModelIndex index = list->model()->index(row, CodeListModel::NameColumn);
    if (!list->prepareContextMenu(list->visualRect(index).center()))
        return false;
    auto* action = list->contextMenu()->findChild<QAction*>(QStringLiteral("actionTestSend"));
    if (!action || !action->isEnabled())
        return false;
    action->trigger();
    return true;
}

} // namespace

class TestTestSendWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void fromTheCodeList_eachFamilysAnswerIsShown_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("answer");
        QTest::newRow("epson") << int(sim::ProjectorFamily::Epson) << QStringLiteral("爱普生 Epson")
                               << QStringLiteral("EB-X41")
                               << QStringLiteral("（9600 波特，偶校验）: 50 57 52 20 4f 4e 0d")
                               << QStringLiteral("应答（首字节在发送后 ")
                               << QStringLiteral("十六进制: 3a\n文本: :");
        QTest::newRow("nec") << int(sim::ProjectorFamily::Nec) << QStringLiteral("NEC")
                             << QStringLiteral("P474W")
                             << QStringLiteral("（38400 波特，无校验）: 02 00 00 00 00 02")
                             << QStringLiteral("应答（首字节在发送后 ")
                             << QStringLiteral(
                                    "十六进制: 22 00 01 20 00 43\n文本: \"\\x00\\x01 \\x00C");
        QTest::newRow("silent") << int(sim::ProjectorFamily::Silent) << QStringLiteral("静音 Quiet")
                                << QStringLiteral("Q1")
                                << QStringLiteral("（9600 波特，无校验）: a9 17 2e 00 00 00 3f 9a")
                                << QStringLiteral("投影机在 1000 毫秒内没有应答") << QString();
    }
    void fromTheCodeList_eachFamilysAnswerIsShown() {
        QFETCH(int, family);
        QFETCH(QString, company);
        QFETCH(QString, model);
        QFETCH(QString, sent);
        QFETCH(QString, heading);
        QFETCH(QString, answer);

        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        Projector projector(static_cast<sim::ProjectorFamily>(family));
        QVERIFY(projector.started);
        const QString port = QString::fromStdString(projector.sim.portPath());
        app.shellState().portName = projector.sim.portPath();
        MainPanel* panel = app.mainWindow()->panel();
        panel->tree()->setCurrentItem(panel->tree()->modelItem(company, model));
        QSignalSpy busy(panel, &MainPanel::busyChanged);

        Shown shown;
        ModalSeam::queueHandler(readTestSend(shown));
        QVERIFY(testSendRow(panel, 0));
        QVERIFY(shown.resultArrived);
        QCOMPARE(shown.sent.left(shown.sent.indexOf(QStringLiteral("（"))),
                 QStringLiteral("已发送「开机」到 ") + port);
        QVERIFY2(shown.sent.endsWith(sent), qPrintable(shown.sent));
        QVERIFY2(shown.heading.startsWith(heading), qPrintable(shown.heading));
        QCOMPARE(shown.answer, answer);
        QCOMPARE(shown.button, QStringLiteral("关闭"));
        QVERIFY(shown.note.isEmpty());
        // One operation began and ended; the window needed no other message.
        QCOMPARE(busy.size(), 2);
        QVERIFY(!panel->busy());
        QCOMPARE(ModalSeam::seen().filter(QStringLiteral("testSend")).size(), 1);
        QCOMPARE(ModalSeam::seen().size(), 2); // detection and the test send
        // The projector heard the code.
        QVERIFY(projector.sim.log().waitFor("rx", std::chrono::milliseconds(3000)));
        // The channel was not listening before and is closed again.
        QVERIFY(!app.channel().isOpen());
    }

    void afterATestSend_theChannelListensAsBefore_andAnEchoStillTicksItsRow() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        panel->tree()->setCurrentItem(
            panel->tree()->modelItem(QStringLiteral("爱普生 Epson"), QStringLiteral("EB-X41")));
        QSignalSpy busy(panel, &MainPanel::busyChanged);
        panel->findChild<QPushButton*>(QStringLiteral("button1013"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 15000);
        const std::string controllerPort = app.simulator()->portPath();
        QVERIFY(app.channel().isOpen());
        QCOMPARE(app.channel().portName(), controllerPort);
        QCOMPARE(app.channel().settings().baud, 9600u);
        QCOMPARE(app.channel().settings().parityCode, 2);

        // The projector on a port of its own (a second adapter).
        Projector projector(sim::ProjectorFamily::Epson);
        QVERIFY(projector.started);
        app.shellState().portName = projector.sim.portPath();
        Shown shown;
        ModalSeam::queueHandler(readTestSend(shown));
        QVERIFY(testSendRow(panel, 0));
        QVERIFY(shown.resultArrived);
        QVERIFY2(shown.heading.startsWith(QStringLiteral("应答")), qPrintable(shown.heading));
        QVERIFY(shown.note.isEmpty());

        QVERIFY(app.channel().isOpen());
        QCOMPARE(app.channel().portName(), controllerPort);
        QCOMPARE(app.channel().settings().baud, 9600u);
        QCOMPARE(app.channel().settings().parityCode, 2);
        // The controller sends row 0's code when its key is pressed: ticked.
        auto& rows = *qobject_cast<CodeListModel*>(panel->codeList()->model());
        QCOMPARE(rows.status(0), link::RowStatus::Unconfirmed);
        QVERIFY(!app.simulator()->press(0).empty());
        QTRY_COMPARE_WITH_TIMEOUT(rows.status(0), link::RowStatus::Confirmed, 3000);
    }

    void portThatCannotBeOpenedOrNone_isSaidPlainly_andNothingElseIsShown() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        panel->tree()->setCurrentItem(
            panel->tree()->modelItem(QStringLiteral("NEC"), QStringLiteral("P474W")));
        const QString missing = dir.filePath(QStringLiteral("ttyNONE"));
        app.shellState().portName = missing.toStdString();
        Shown shown;
        ModalSeam::queueHandler(readTestSend(shown));
        QVERIFY(testSendRow(panel, 0));
        QCOMPARE(shown.heading, QStringLiteral("无法打开串口 ") + missing);
        QVERIFY2(shown.sent.startsWith(QStringLiteral("未能发送「开机」到 ")),
                 qPrintable(shown.sent));
        QVERIFY(shown.answer.isEmpty());
        QCOMPARE(ModalSeam::seen().size(), 2); // detection and the test send

        // No port at all: said before anything opens.
        app.shellState().portName.clear();
        ModalSeam::queueAnswer(0);
        QVERIFY(testSendRow(panel, 0));
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("没有设置串口，请先选择串口"));
        QCOMPARE(ModalSeam::seen().size(), 3);
    }

    void whileAWriteRuns_testSendIsGreyedAndRefused() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        MainPanel* panel = app.mainWindow()->panel();
        panel->tree()->setCurrentItem(
            panel->tree()->modelItem(QStringLiteral("爱普生 Epson"), QStringLiteral("EB-X41")));
        QSignalSpy busy(panel, &MainPanel::busyChanged);
        panel->findChild<QPushButton*>(QStringLiteral("button1013"))->click();
        QVERIFY(panel->busy());
        QVERIFY(!testSendRow(panel, 0)); // the menu's item is greyed
        ModalSeam::queueAnswer(0);
        panel->testSend(CodeTrial{QStringLiteral("开机"), {0x50, 0x0d}, 9600, 0});
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("正在与中控通信，请等它结束后再试发"));
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 15000);
        QVERIFY(!ModalSeam::seen().contains(QStringLiteral("testSend")));
    }

    void fromTheEditor_theSelectedRowGoesOutAtTheSpeedAndParityShown() {
        QTemporaryDir dir;
        letDetectionRun();
        ProjectorApp app(options(makeCatalogue(dir)));
        QVERIFY(app.start());
        QVERIFY(app.checker());
        Projector projector(sim::ProjectorFamily::Nec);
        QVERIFY(projector.started);
        app.shellState().portName = projector.sim.portPath();
        CatalogueTree* tree = app.mainWindow()->panel()->tree();
        QTreeWidgetItem* node = tree->modelItem(QStringLiteral("NEC"), QStringLiteral("P474W"));
        tree->scrollToItem(node);
        QVERIFY(tree->prepareContextMenu(tree->visualItemRect(node).center()));

        Shown shown;
        QString flagged;
        ModalSeam::queueHandler([&](QDialog& d) {
            auto& editor = static_cast<ModelEditor&>(d);
            KeyGrid* grid = editor.grid();
            // The editor judges the stored code too: it keeps NEC's rule.
            flagged = editor.findChild<QLabel*>(QStringLiteral("labelCheck"))->toolTip();
            Q_EMIT grid->cellClicked(0, KeyGridModel::CodeColumn); // as a click does
            ModalSeam::queueHandler(readTestSend(shown));
            editor.findChild<QPushButton*>(QStringLiteral("buttonTestSend"))->click();
            return 0;
        });
        tree->contextMenu()->findChild<QAction*>(QStringLiteral("action40009"))->trigger();
        QCOMPARE(flagged, QStringLiteral("功能码符合 NEC 的规则"));
        QVERIFY(shown.resultArrived);
        QVERIFY2(shown.sent.endsWith(QStringLiteral("（38400 波特，无校验）: 02 00 00 00 00 02")),
                 qPrintable(shown.sent));
        QCOMPARE(shown.answer,
                 QStringLiteral("十六进制: 22 00 01 20 00 43\n文本: \"\\x00\\x01 \\x00C"));
        QVERIFY(projector.sim.poweredOn());
    }

    void rulesThatCannotBeRead_areReportedOnce_andCodesAreNotJudged() {
        QTemporaryDir dir;
        const QString rules = dir.filePath(QStringLiteral("bad-rules.txt"));
        {
            QFile f(rules);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("rule broken\n  length eight\n");
        }
        qputenv("PROJECTOR_RULES", rules.toLocal8Bit());
        letDetectionRun();
        ModalSeam::queueAnswer(0);
        ProjectorApp app(options(makeCatalogue(dir)));
        const bool started = app.start();
        qunsetenv("PROJECTOR_RULES");
        QVERIFY(started);
        QVERIFY(!app.checker());
        const QString message = ModalSeam::seen().last();
        QVERIFY2(
            message.startsWith(QStringLiteral("功能码规则文件有错误，编辑型号时不检查功能码：\n") +
                               rules + QLatin1Char(':')),
            qPrintable(message));
    }
};

QTEST_MAIN(TestTestSendWindow)
#include "test_testsend_window.moc"
