// The receive monitor and the virtual controller panel of PROJECTOR, driven
// through their real widgets on the offscreen platform with the built-in
// simulator: opening rules, the formats, a speed or parity change reopening
// the line, refusals, the bounded scrollback, the box's menu, a pulled and
// replugged adapter, and a panel press that ticks the written row.

#include "catalogue/functionkeys.h"
#include "link/codetext.h"
#include "link/receivedtext.h"
#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/mainwindow.h"
#include "shell/receivemonitor.h"
#include "shell/virtualpanel.h"
#include "shell_test_support.h"
#include "sim/simulator.h"
#include "skin/units.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pj;
using namespace pj::shell;
using namespace pj::shell::testing;
using namespace std::chrono_literals;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Picks row `row` of a drop-down as the user does.
void pick(QComboBox* combo, int row) {
    combo->setCurrentIndex(row);
    Q_EMIT combo->activated(row);
}

// The first "line" event from `from` on whose speed (and parity) is as asked.
bool lineSeen(sim::Simulator& sim, std::size_t from, std::uint32_t baud,
              std::optional<bool> odd = std::nullopt) {
    return sim.log()
        .waitFor(
            [&](const sim::Event& e) {
                return e.kind() == "line" && e.number("baud") == static_cast<long long>(baud) &&
                       (!odd || e.flag("parity_odd") == *odd);
            },
            3s, from)
        .has_value();
}

struct Started {
    std::unique_ptr<ProjectorApp> app;
    MainWindow* window = nullptr;
    MainPanel* panel = nullptr;
};

Started startSimulated() {
    letDetectionRun();
    Started s;
    s.app = std::make_unique<ProjectorApp>(simulated());
    if (!s.app->start())
        return s;
    s.window = s.app->mainWindow();
    s.panel = s.window->panel();
    return s;
}

ReceiveMonitor* openMonitorByItsButton(MainPanel* panel) {
    auto* button = child<QWidget>(panel, "button1061");
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    return panel->monitor();
}

QPlainTextEdit* box(ReceiveMonitor* m) {
    return child<QPlainTextEdit>(m, "edit1064");
}

} // namespace

class TestMonitorWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void opening_closedChannelListensAtTheModelsSpeedAndLastParity() {
        Started s = startSimulated();
        QVERIFY(s.window);
        const auto chosen = pickModel(*s.app);
        QVERIFY(chosen);
        auto* tree = child<CatalogueTree>(s.window, "tree1009");
        tree->setCurrentItem(tree->modelItem(chosen->company, chosen->model));
        s.app->selectedModel().lastParity = 1;
        s.app->channel().close();
        sim::Simulator& sim = *s.app->simulator();
        const std::size_t from = sim.log().size();

        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m && m->isVisible());
        QCOMPARE(m->windowTitle(), QStringLiteral("接收"));
        QCOMPARE(m->windowModality(), Qt::WindowModal);
        QCOMPARE(m->parentWidget(), s.window);
        QCOMPARE(m->size(), skin::dluSize(364, 224));
        QVERIFY(s.app->shellState().monitorOpen);
        const std::uint32_t baud = s.app->selectedModel().selectedBaud;
        QVERIFY(s.app->channel().isOpen());
        QCOMPARE(s.app->channel().settings().baud, baud);
        QCOMPARE(s.app->channel().settings().parityCode, 1);
        QVERIFY(lineSeen(sim, from, baud, true));

        auto* speed = child<QComboBox>(m, "combo1073");
        auto* parity = child<QComboBox>(m, "combo1091");
        QCOMPARE(speed->currentText(), q(s.app->selectedModel().selectedBaudText));
        QCOMPARE(speed->count(), 10);
        QVERIFY(speed->isEditable() && parity->isEditable());
        QCOMPARE(parity->currentText(), QStringLiteral("奇校验"));
        QCOMPARE(child<QLabel>(m, "label1073")->text(), QStringLiteral("当前接收波特率为:"));
        QCOMPARE(child<QCheckBox>(m, "check1063")->text(), QStringLiteral("ASCII接收"));
        QVERIFY(!child<QCheckBox>(m, "check1063")->isChecked());
        QVERIFY(!box(m)->isReadOnly());
        QVERIFY(box(m)->toPlainText().isEmpty());

        // The monitor's button again while it is open: nothing new.
        s.panel->openMonitor();
        QCOMPARE(s.panel->monitor(), m);
        QCOMPARE(s.window->findChildren<ReceiveMonitor*>().size(), 1);
    }

    void opening_openChannelKeepsItsSettings() {
        Started s = startSimulated();
        QVERIFY(s.window);
        sim::Simulator& sim = *s.app->simulator();
        QCOMPARE(s.app->channel().open(s.app->shellState().portName, {19200, 8, 2, 1}),
                 link::OpenResult::Opened);
        QVERIFY(lineSeen(sim, 0, 19200));
        const std::size_t from = sim.log().size();
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        QCOMPARE(child<QComboBox>(m, "combo1073")->currentText(), QStringLiteral("19200"));
        QCOMPARE(child<QComboBox>(m, "combo1091")->currentText(), QStringLiteral("偶校验"));
        QCOMPARE(s.app->channel().settings().baud, 19200u);
        QTest::qWait(200);
        const auto events = sim.log().snapshot();
        for (std::size_t i = from; i < events.size(); ++i)
            QVERIFY2(events[i].kind() != "line", events[i].json().c_str());
    }

    void formats_hexAndAsciiBlocksAsTheyArrive_andClear() {
        Started s = startSimulated();
        QVERIFY(s.window);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        s.panel->onReceived(link::Bytes{0x41, 0x42, 0x0D});
        QTRY_COMPARE(box(m)->toPlainText(), QStringLiteral("41 42 0d "));
        child<QCheckBox>(m, "check1063")->setChecked(true);
        s.panel->onReceived(link::Bytes{0x41, 0x00, 0x42, 0x0D});
        child<QCheckBox>(m, "check1063")->setChecked(false);
        s.panel->onReceived(link::Bytes{0x05, 0xFF});
        // The carriage return is a line break in the box.
        QTRY_COMPARE(box(m)->toPlainText(), QStringLiteral("41 42 0d AB\n 05 ff "));
        QCOMPARE(box(m)->document()->characterCount() - 1, m->log().length());

        QTest::mouseClick(child<QPushButton>(m, "button1069"), Qt::LeftButton);
        QVERIFY(box(m)->toPlainText().isEmpty());
        s.panel->onReceived(link::Bytes{0x07});
        QTRY_COMPARE(box(m)->toPlainText(), QStringLiteral("07 "));
    }

    void speedOrParityPicked_reopensTheLine_andABadSpeedIsRefused() {
        Started s = startSimulated();
        QVERIFY(s.window);
        sim::Simulator& sim = *s.app->simulator();
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        auto* speed = child<QComboBox>(m, "combo1073");
        auto* parity = child<QComboBox>(m, "combo1091");

        std::size_t from = sim.log().size();
        pick(speed, speed->findText(QStringLiteral("115200")));
        QVERIFY(lineSeen(sim, from, 115200, false));
        QCOMPARE(s.app->channel().settings().baud, 115200u);
        QVERIFY(s.app->channel().isOpen());

        // What the controller sends at that speed arrives whole and in order.
        std::string error;
        const std::size_t streamFrom = sim.log().size();
        QVERIFY(sim.startStream({115200, 200ms}, error));
        QVERIFY(sim.log().waitFor("stream_end", 3s, streamFrom));
        QTRY_COMPARE_WITH_TIMEOUT(m->log().receivedBytes(), sim.streamStats().sent, 3000);
        QCOMPARE(sim.streamStats().sent, std::uint64_t{2304});
        QVERIFY(box(m)->toPlainText().startsWith(QStringLiteral("00 01 02 03 ")));

        from = sim.log().size();
        pick(parity, 1);
        QVERIFY(lineSeen(sim, from, 115200, true));
        QCOMPARE(s.app->channel().settings().parityCode, 1);

        // A speed that is no positive whole number: refused, nothing reopened.
        speed->setEditText(QStringLiteral("abc"));
        ModalSeam::queueAnswer(0);
        from = sim.log().size();
        pick(parity, 0);
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("波特率无效"));
        QCOMPARE(speed->currentText(), QStringLiteral("115200"));
        QCOMPARE(parity->currentText(), QStringLiteral("奇校验"));
        QCOMPARE(s.app->channel().settings().baud, 115200u);
        QCOMPARE(s.app->channel().settings().parityCode, 1);
        QVERIFY(s.app->channel().isOpen());
        speed->setEditText(QStringLiteral("0"));
        ModalSeam::queueAnswer(0);
        pick(parity, 2);
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("波特率无效"));
        QCOMPARE(s.app->channel().settings().parityCode, 1);

        // Typing alone changes nothing; a parity picked then takes the typed speed.
        speed->setEditText(QStringLiteral("4800"));
        QTest::qWait(100);
        QCOMPARE(s.app->channel().settings().baud, 115200u);
        from = sim.log().size();
        pick(parity, 0);
        QVERIFY(lineSeen(sim, from, 4800, false));
        QCOMPARE(s.app->channel().settings().baud, 4800u);
        QCOMPARE(m->listening().baud, 4800u);
    }

    void closing_closeKeepsTheChannel_windowCloseClosesIt() {
        Started s = startSimulated();
        QVERIFY(s.window);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        QTest::mouseClick(child<QPushButton>(m, "button1065"), Qt::LeftButton);
        QTRY_VERIFY(!s.panel->monitor());
        QVERIFY(!s.app->shellState().monitorOpen);
        QVERIFY(s.app->channel().isOpen());

        m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        QVERIFY(s.app->shellState().monitorOpen);
        auto* close = child<QWidget>(m, "button104"); // the caption strip's close
        QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
        QTRY_VERIFY(!s.panel->monitor());
        QVERIFY(!s.app->shellState().monitorOpen);
        QVERIFY(!s.app->channel().isOpen());
        // Received blocks no longer go to a monitor.
        s.panel->onReceived(link::Bytes{1});
    }

    void scrollback_keepsAtLeast64KiBAndDropsTheOldestFirst() {
        Started s = startSimulated();
        QVERIFY(s.window);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        link::Bytes block(200);
        for (int i = 0; i < 600; ++i) { // 360,000 characters of hex
            std::fill(block.begin(), block.end(), static_cast<std::uint8_t>(i));
            s.panel->onReceived(block);
        }
        // The box is brought up to date a few times a second.
        QTRY_COMPARE(box(m)->toPlainText(), m->log().text());
        const QString text = box(m)->toPlainText();
        QVERIFY(text.size() >= 64 * 1024);
        QVERIFY(text.size() <= MonitorLog::kKeepChars + MonitorLog::kSlackChars);
        QVERIFY(text.endsWith(QStringLiteral("57 57 "))); // block 599 (0x257)
        // Whole blocks, in lines no longer than the box is wide.
        const QStringList lines = text.split(QLatin1Char('\n'));
        QCOMPARE(QString(text).remove(QLatin1Char('\n')).size() % 600, 0);
        QVERIFY(lines.size() > 100);
        for (const QString& line : lines)
            QVERIFY(line.size() <= m->log().hexWrapColumn());
        QVERIFY(m->log().hexWrapColumn() >= 60); // about 25 pairs in 347 dialog units
        QCOMPARE(m->log().receivedBytes(), std::uint64_t{120000});
    }

    void contextMenu_timeStampsAndSaving() {
        Started s = startSimulated();
        QVERIFY(s.window);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        QMenu* menu = m->contextMenu();
        QCOMPARE(menu->objectName(), QStringLiteral("menuMonitor"));
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("复制"), QStringLiteral("全选"),
                                     QStringLiteral("显示时间"), QStringLiteral("保存…")}));

        s.panel->onReceived(link::Bytes{0x41, 0x42});
        s.panel->onReceived(link::Bytes{0x43});
        QTRY_COMPARE(box(m)->toPlainText(), QStringLiteral("41 42 43 "));
        auto* showTime = menu->findChild<QAction*>(QStringLiteral("actionShowTime"));
        QVERIFY(showTime && showTime->isCheckable());
        showTime->trigger();
        const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
        const QStringList lines = box(m)->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(stamped.match(lines[0]).hasMatch() && lines[0].endsWith(QStringLiteral(" 41 42 ")));
        QVERIFY(stamped.match(lines[1]).hasMatch() && lines[1].endsWith(QStringLiteral(" 43 ")));
        s.panel->onReceived(link::Bytes{0x44});
        QTRY_COMPARE(box(m)->toPlainText().split(QLatin1Char('\n')).size(), 3);
        showTime->trigger();
        QCOMPARE(box(m)->toPlainText(), QStringLiteral("41 42 43 44 "));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("接收.txt"));
        m->setSaveFileChooser([file] { return file; });
        menu->findChild<QAction*>(QStringLiteral("actionSave"))->trigger();
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        // A text file in the system's line ends: CRLF on Windows, LF elsewhere.
        QString content = QString::fromUtf8(saved.readAll());
#ifdef Q_OS_WIN
        QCOMPARE(content.count(QStringLiteral("\r\n")), 3);
        content.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
        QVERIFY(!content.contains(QLatin1Char('\r')));
        QCOMPARE(content, m->log().savedText());
        QCOMPARE(content.count(QLatin1Char('\n')), 3);
        QVERIFY(stamped.match(content).hasMatch());

        // A file that cannot be written: a message, nothing else.
        m->setSaveFileChooser([&dir] { return dir.filePath(QStringLiteral("无此目录/x.txt")); });
        ModalSeam::queueAnswer(0);
        menu->findChild<QAction*>(QStringLiteral("actionSave"))->trigger();
        QVERIFY(ModalSeam::seen().last().startsWith(QStringLiteral("无法保存文件 ")));
        // Choosing no file saves nothing.
        m->setSaveFileChooser([] { return QString(); });
        menu->findChild<QAction*>(QStringLiteral("actionSave"))->trigger();
    }

    void pulledAdapter_isNotedAndTheMonitorReconnectsByItself() {
        Started s = startSimulated();
        QVERIFY(s.window);
        sim::Simulator& sim = *s.app->simulator();
        const QString port = q(s.app->shellState().portName);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        auto* speed = child<QComboBox>(m, "combo1073");
        pick(speed, speed->findText(QStringLiteral("115200")));

        sim.unplug();
        const QString lost = QStringLiteral("串口 %1 已断开").arg(port);
        QTRY_VERIFY_WITH_TIMEOUT(box(m)->toPlainText().contains(lost), 5000);
        QVERIFY(m->reconnecting());
        QVERIFY(!s.app->channel().isOpen());
        QVERIFY(!ModalSeam::seen().contains(lost)); // told in the box, not in a message box
        QTest::qWait(2 * ReceiveMonitor::kReconnectMs);
        QVERIFY(m->reconnecting()); // still away

        std::string error;
        QVERIFY(sim.replug(error));
        const QString back = QStringLiteral("串口 %1 已重新连接").arg(port);
        QTRY_VERIFY_WITH_TIMEOUT(box(m)->toPlainText().contains(back), 5000);
        QVERIFY(!m->reconnecting());
        QVERIFY(s.app->channel().isOpen());
        QCOMPARE(s.app->channel().settings().baud, 115200u);
        QCOMPARE(box(m)->toPlainText(), lost + QLatin1Char('\n') + back + QLatin1Char('\n'));

        // Listening again: what the controller sends arrives.
        QTRY_VERIFY_WITH_TIMEOUT(sim.line().clientOpen, 3000);
        const std::size_t from = sim.log().size();
        QVERIFY(sim.startStream({115200, 100ms}, error));
        QVERIFY(sim.log().waitFor("stream_end", 3s, from));
        QTRY_COMPARE_WITH_TIMEOUT(m->log().receivedBytes(), std::uint64_t{1152}, 3000);
    }

    void virtualPanel_onlyWhenSimulating() {
        chooseManualSettingsAndOk();
        ProgramOptions o;
        o.catalogueFile = deliveredCatalogue();
        o.scanPresentPorts = false;
        ProjectorApp app(o);
        QVERIFY(app.start());
        QVERIFY(!app.virtualPanel());
    }

    void virtualPanel_pressSendsTheStoredCodeAndTicksTheRow() {
        Started s = startSimulated();
        QVERIFY(s.window);
        VirtualPanel* vp = s.app->virtualPanel();
        QVERIFY(vp && vp->isVisible());
        QCOMPARE(vp->windowTitle(), QStringLiteral("虚拟中控"));
        QVERIFY(!vp->frameGeometry().intersects(s.window->frameGeometry()) ||
                vp->frameGeometry().right() >= s.window->screen()->availableGeometry().right());
        for (const auto& key : catalogue::kFunctionKeyTable) {
            QPushButton* b = vp->keyButton(key.slot);
            QVERIFY(b);
            QCOMPARE(b->objectName(), QStringLiteral("key%1").arg(key.slot));
            QCOMPARE(b->text(),
                     QString::fromUtf8(key.name.data(), static_cast<qsizetype>(key.name.size())));
            QVERIFY(!b->property("stored").toBool());
        }
        QCOMPARE(child<QLabel>(vp, "room0")->text(), QStringLiteral("—"));

        // Pick a model and write its first row.
        const auto chosen = pickModel(*s.app);
        QVERIFY(chosen);
        auto* tree = child<CatalogueTree>(s.window, "tree1009");
        tree->setCurrentItem(tree->modelItem(chosen->company, chosen->model));
        auto& rows =
            *qobject_cast<CodeListModel*>(child<CodeListView>(s.window, "list1010")->model());
        const link::CodeListEntry row0 = s.app->selectedModel().rows[0];
        const int slot = static_cast<int>(row0.keyType);
        QSignalSpy busy(s.panel, &MainPanel::busyChanged);
        child<QPushButton>(s.window, "button1013")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 15000);
        QPushButton* key = vp->keyButton(slot);
        QTRY_VERIFY_WITH_TIMEOUT(key->property("stored").toBool(), 3000);
        QVERIFY(!key->icon().isNull());
        const QString code = q(link::bytesToCodeText(link::codeTextToBytes(row0.codeText)));
        QVERIFY(key->toolTip().contains(code));

        // Press: the controller sends the code, the row gets its tick.
        QCOMPARE(rows.status(0), link::RowStatus::Unconfirmed);
        QTest::mouseClick(key, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rows.status(0), link::RowStatus::Confirmed, 3000);
        QVERIFY(child<QLabel>(vp, "labelPress")->text().contains(code));

        // A listening side at another speed receives garbage: no tick.
        rows.setStatus(0, link::RowStatus::Unconfirmed);
        ReceiveMonitor* m = openMonitorByItsButton(s.panel);
        QVERIFY(m);
        auto* speed = child<QComboBox>(m, "combo1073");
        const QString other = s.app->selectedModel().selectedBaud == 2400 ? QStringLiteral("4800")
                                                                          : QStringLiteral("2400");
        const std::size_t from = s.app->simulator()->log().size();
        pick(speed, speed->findText(other));
        QVERIFY(lineSeen(*s.app->simulator(), from, other.toUInt()));
        QTest::mouseClick(key, Qt::LeftButton);
        const std::uint64_t codeLength = link::codeTextToBytes(row0.codeText).size();
        QTRY_COMPARE_WITH_TIMEOUT(m->log().receivedBytes(), codeLength, 3000);
        QVERIFY(box(m)->toPlainText() != code + QLatin1Char(' '));
        QVERIFY(child<QLabel>(vp, "labelPress")->text().contains(QStringLiteral("乱码")));
        QTest::qWait(100);
        QCOMPARE(rows.status(0), link::RowStatus::Unconfirmed);
        QTest::mouseClick(child<QPushButton>(m, "button1065"), Qt::LeftButton);
        QTRY_VERIFY(!s.panel->monitor());

        // A key without a code sends nothing.
        const int empty = slot == 17 ? 16 : 17;
        QTest::mouseClick(vp->keyButton(empty), Qt::LeftButton);
        QVERIFY(child<QLabel>(vp, "labelPress")->text().contains(QStringLiteral("没有")));

        // The room parameters and the ID card the controller received.
        child<QPushButton>(s.window, "button1049")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 4, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(vp, "room0")->text(), QStringLiteral("1 分钟"),
                                  3000);
        QCOMPARE(child<QLabel>(vp, "room1")->text(), QStringLiteral("台式电脑"));
        QCOMPARE(child<QLabel>(vp, "room2")->text(), QStringLiteral("数字展台"));
        QCOMPARE(child<QLabel>(vp, "room4")->text(), QStringLiteral("5 秒"));
        QCOMPARE(child<QLabel>(vp, "room6")->text(), QStringLiteral("常闭"));
        child<QLineEdit>(s.window, "edit1086")->setText(QStringLiteral("粤A1234"));
        child<QPushButton>(s.window, "button1087")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 6, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(vp, "labelCard")->text(), QStringLiteral("粤A1234"),
                                  3000);
    }
};

QTEST_MAIN(TestMonitorWindow)
#include "test_monitorwindow.moc"
