// PROJECTOR driven through its real widgets on the offscreen platform: the
// start-up paths, the catalogue browser in the window, and a code write that
// reaches the simulated controller and is confirmed by a key press.

#include "link/codetext.h"
#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "shell_test_support.h"
#include "sim/simulator.h"
#include "skin/captionbar.h"
#include "skin/units.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace pj;
using namespace pj::shell;
using namespace pj::shell::testing;

namespace {

// "手动设置" in the detection dialog, then `settingsResult` from the settings
// dialog ("确定" when 1).
void chooseManualSettings(int settingsResult) {
    ModalSeam::queueHandler([](QDialog& d) {
        d.findChild<QPushButton*>(QStringLiteral("button1076"))->click();
        return d.result();
    });
    ModalSeam::queueHandler([settingsResult](QDialog& d) {
        if (settingsResult == 1) {
            d.findChild<QPushButton*>(QStringLiteral("button1039"))->click();
            return d.result();
        }
        return 0;
    });
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ModalSeam::reset(); }
    void cleanup() {
        QVERIFY2(!ModalSeam::pending(), "a queued dialog answer was not used");
        ModalSeam::reset();
    }

    void startup_findsTheSimulatorAndShowsThePanelInItsInitialState() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        QCOMPARE(ModalSeam::seen(), QStringList{QStringLiteral("detection145")});
        QCOMPARE(app.shellState().editionCode, 21);
        QCOMPARE(app.shellState().controllerBaud, 600);
        QCOMPARE(app.shellState().portName, app.simulator()->portPath());

        MainWindow* w = app.mainWindow();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("中控写码"));
        QCOMPARE(w->size(),
                 QSize(MainPanel::panelSize().width(), MainPanel::panelSize().height() + 26));
        auto* tree = child<CatalogueTree>(w, "tree1009");
        QCOMPARE(tree->rootItem()->text(0), QStringLiteral("选择投影机型号"));
        QVERIFY(tree->rootItem()->isExpanded());
        QCOMPARE(tree->rootItem()->childCount(),
                 static_cast<int>(app.catalogue().loadTree()->companies.size()));
        QCOMPARE(tree->palette().color(QPalette::Base), QColor(235, 235, 235));
        QVERIFY(!child<QPushButton>(w, "button1013")->isEnabled());
        QCOMPARE(child<QPushButton>(w, "button1013")->text(), QStringLiteral("写码"));
        QCOMPARE(child<QProgressBar>(w, "progress1052")->value(), 0);
        QCOMPARE(child<QProgressBar>(w, "progress1052")->maximum(), 100);
        QCOMPARE(child<QComboBox>(w, "combo1043")->currentText(), QStringLiteral("台式电脑"));
        QCOMPARE(child<QComboBox>(w, "combo1043")->count(), 5);
        QCOMPARE(child<QComboBox>(w, "combo1044")->currentText(), QStringLiteral("1"));
        QCOMPARE(child<QComboBox>(w, "combo1044")->count(), 10);
        QCOMPARE(child<QComboBox>(w, "combo1045")->currentText(), QStringLiteral("数字展台"));
        QCOMPARE(child<QLineEdit>(w, "edit1046")->text(), QStringLiteral("5"));
        QVERIFY(child<QCheckBox>(w, "check1047")->isChecked());
        QVERIFY(!child<QCheckBox>(w, "check1048")->isChecked());
        QCOMPARE(child<QComboBox>(w, "combo1085")->currentText(), QStringLiteral("常闭"));
        QCOMPARE(child<QComboBox>(w, "combo1088")->currentText(), QStringLiteral("单机"));
        QVERIFY(child<QLineEdit>(w, "edit1086")->text().isEmpty());
        for (const char* name :
             {"button1016", "button1049", "button1087", "button1021", "button1050", "button1061"})
            QVERIFY2(child<QWidget>(w, name) && child<QWidget>(w, name)->isEnabled(), name);
        // The untouched room controls give the panel's default block.
        const auto p = w->panel()->roomParameters();
        QVERIFY(p);
        QCOMPARE(link::buildRoomBlock(*p),
                 (link::RoomParameterBlock{0x01, 0x00, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00}));
    }

    void startup_withoutController_manualSettingsAndOk_showsTheWindow() {
        chooseManualSettings(1);
        ProgramOptions o;
        o.catalogueFile = deliveredCatalogue();
        o.scanPresentPorts = false; // no port at all: nothing is found
        ProjectorApp app(o);
        QVERIFY(app.start());
        QCOMPARE(ModalSeam::seen(),
                 (QStringList{QStringLiteral("detection145"), QStringLiteral("parameters134")}));
        QVERIFY(app.mainWindow() && app.mainWindow()->isVisible());
    }

    void startup_settingsClosed_endsTheProgram() {
        chooseManualSettings(0);
        ProgramOptions o;
        o.catalogueFile = deliveredCatalogue();
        o.scanPresentPorts = false; // no port at all: nothing is found
        ProjectorApp app(o);
        QVERIFY(!app.start());
        QCOMPARE(app.exitCode(), 0);
        QVERIFY(!app.mainWindow());
    }

    void startup_missingCatalogue_showsDialog139AndCreatesNothing() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        letDetectionRun();
        ModalSeam::queueHandler([](QDialog& d) {
            d.findChild<QPushButton*>(QStringLiteral("button1055"))->click();
            return d.result();
        });
        ProgramOptions o = simulated();
        o.catalogueFile = dir.filePath(QStringLiteral("projector.mdb"));
        {
            ProjectorApp app(o);
            QVERIFY(!app.start());
            QVERIFY(!app.mainWindow());
            QCOMPARE(ModalSeam::seen(),
                     (QStringList{QStringLiteral("detection145"), QStringLiteral("message139")}));
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void browsing_companyEmptiesTheList_modelLoadsRowsWithRowZeroTicked() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        auto* tree = child<CatalogueTree>(w, "tree1009");
        auto* list = child<CodeListView>(w, "list1010");
        auto* write = child<QPushButton>(w, "button1013");
        auto* description = child<QPlainTextEdit>(w, "edit1011");
        const auto pick = pickModel(app);
        QVERIFY(pick);

        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        QVERIFY(write->isEnabled());
        const auto companyId = app.catalogue().findCompany(pick->company);
        const auto record =
            app.catalogue().loadModel(*app.catalogue().findModel(*companyId, pick->model));
        auto& rows = *qobject_cast<CodeListModel*>(list->model());
        QCOMPARE(rows.rowCount(), static_cast<int>(record->keys.size()));
        for (int r = 0; r < rows.rowCount(); ++r) {
            QCOMPARE(rows.isSelected(r), r == 0);
            QCOMPARE(rows.status(r), link::RowStatus::Unconfirmed);
            QCOMPARE(rows.data(rows.index(r, 1), Qt::DisplayRole).toString(),
                     record->keys[static_cast<std::size_t>(r)].function);
        }
        QCOMPARE(app.selectedModel().selectedBaud, record->baud);
        QCOMPARE(description->toPlainText(), record->description);

        // A click anywhere on a row toggles its box; below the last row nothing.
        const QRect nameCell = list->visualRect(rows.index(1, CodeListModel::NameColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, nameCell.center());
        QVERIFY(rows.isSelected(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->checkBoxRect(1).center());
        QVERIFY(!rows.isSelected(1));
        const int below = list->visualRect(rows.index(rows.rowCount() - 1, 0)).bottom() + 5;
        if (below < list->viewport()->height()) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, below));
            for (int r = 0; r < rows.rowCount(); ++r)
                QCOMPARE(rows.isSelected(r), r == 0);
        }

        tree->setCurrentItem(tree->companyItem(pick->company));
        QCOMPARE(rows.rowCount(), 0);
        QVERIFY(!write->isEnabled());
        QVERIFY(description->toPlainText().isEmpty());
        tree->setCurrentItem(tree->rootItem());
        QVERIFY(!write->isEnabled());
    }

    void codeList_layoutAndAnyNumberOfRows() {
        link::SelectedModel model;
        CodeListModel rows(model);
        CodeListView view(rows);
        view.resize(skin::dlu(193, 9, 301, 140).size());
        view.show();
        link::CodeList many(60);
        for (std::size_t i = 0; i < many.size(); ++i)
            many[i].name = "键" + std::to_string(i);
        many[0].selected = true;
        rows.setRows(many);
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QCOMPARE(view.horizontalHeader()->height(), 20);
        QCOMPARE(view.rowHeight(0), 17);
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(view.columnWidth(c), CodeListModel::kColumnWidths[c]);
            QCOMPARE(view.horizontalHeader()->sectionResizeMode(c), QHeaderView::Fixed);
        }
        QCOMPARE(view.checkBoxRect(0), QRect(16, 0, 15, 15)); // at the row's top
        QCOMPARE(view.statusIconRect(0).left(), 50 + 200 + 21);
        QCOMPARE(view.statusIconRect(1).top() - view.statusIconRect(0).top(), 17);
        // The description lies over "备注", just under the header.
        const QRect d = view.descriptionBox()->geometry();
        QCOMPARE(d.left(), view.viewport()->geometry().left() + 50 + 200 + 60 + 1);
        QCOMPARE(d.top(), view.viewport()->geometry().top());
        QVERIFY(d.width() <= 140 && d.height() <= 212);

        // Row 59 exists, has its own box, and a click on it toggles only it.
        view.scrollTo(rows.index(59, 0));
        const QRect last = view.visualRect(rows.index(59, CodeListModel::NameColumn));
        QVERIFY(view.viewport()->rect().contains(last.center()));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, last.center());
        QVERIFY(rows.isSelected(59));
        QVERIFY(!rows.isSelected(43) && rows.isSelected(0));
        // Scrolled away, row 0 is drawn nowhere in the visible rows.
        QVERIFY(view.visualRect(rows.index(0, 0)).bottom() < 0);

        view.setTogglingEnabled(false);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, last.center());
        QVERIFY(rows.isSelected(59)); // locked while the controller is written
    }

    void contextMenu_enablesItemsByNode() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        auto* tree = child<CatalogueTree>(app.mainWindow(), "tree1009");
        auto enabled = [tree](int id) {
            return tree->contextMenu()
                ->findChild<QAction*>(QStringLiteral("action%1").arg(id))
                ->isEnabled();
        };
        QTreeWidgetItem* company = tree->rootItem()->child(0);
        company->setExpanded(true);
        QVERIFY(tree->prepareContextMenu(tree->visualItemRect(company).center()));
        QVERIFY(!enabled(40010) && enabled(40008) && enabled(40012) && !enabled(40009) &&
                !enabled(40011));
        QCOMPARE(tree->currentItem(), company);

        QTreeWidgetItem* model = company->child(0);
        QVERIFY(tree->prepareContextMenu(tree->visualItemRect(model).center()));
        QVERIFY(!enabled(40010) && !enabled(40008) && !enabled(40012) && enabled(40009) &&
                enabled(40011));
        QCOMPARE(tree->currentItem(), model);
        QVERIFY(child<QPushButton>(app.mainWindow(), "button1013")->isEnabled());

        QVERIFY(tree->prepareContextMenu(tree->visualItemRect(tree->rootItem()).center()));
        QVERIFY(enabled(40010) && !enabled(40008) && !enabled(40012) && !enabled(40009) &&
                !enabled(40011));

        // Empty space below the items (folded to the root row, so that there is
        // some whatever the font's row height): no menu, selection unchanged.
        tree->rootItem()->setExpanded(false);
        QVERIFY(!tree->prepareContextMenu(QPoint(5, tree->viewport()->height() - 2)));
        QCOMPARE(tree->currentItem(), tree->rootItem());
    }

    void roomParameters_reachTheControllerAndSetTheVisualizerNumber() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        child<QComboBox>(w, "combo1044")->setEditText(QStringLiteral("255"));
        child<QLineEdit>(w, "edit1046")->setText(QStringLiteral(" 30 "));
        child<QComboBox>(w, "combo1085")->setCurrentIndex(1);
        child<QCheckBox>(w, "check1048")->setChecked(true);
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        child<QPushButton>(w, "button1049")->click();
        QVERIFY(!child<QPushButton>(w, "button1049")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "button1087")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        const auto blocks = app.simulator()->roomBlocks();
        QCOMPARE(blocks.size(), std::size_t{1});
        QCOMPARE(blocks[0].bytes,
                 (std::array<std::uint8_t, 8>{0xFF, 0x00, 0x01, 0x01, 0x1E, 0x01, 0x01, 0x00}));
        QCOMPARE(app.shellState().visualizerNumber, 2);
        QCOMPARE(child<QProgressBar>(w, "progress1052")->value(), 0);
        QVERIFY(child<QPushButton>(w, "button1049")->isEnabled());

        child<QComboBox>(w, "combo1045")->setCurrentIndex(0);
        child<QPushButton>(w, "button1049")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 4, 5000);
        QCOMPARE(app.shellState().visualizerNumber, 1);
        QCOMPARE(ModalSeam::seen().size(), 1); // nothing went wrong
    }

    void roomValuesOutsideAByte_areRefusedAndNothingIsSent() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        auto* delay = child<QComboBox>(w, "combo1044");
        auto* curtain = child<QLineEdit>(w, "edit1046");
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        const std::size_t logStart = app.simulator()->log().size();
        const QString delayRefused = QStringLiteral("关投影机延时必须是 0 到 255 的整数");
        const QString curtainRefused = QStringLiteral("幕布升降时间必须是 0 到 255 的整数");
        struct Case {
            const char* delay;
            const char* curtain;
            QString message;
        };
        for (const Case& c :
             {Case{"300", "5", delayRefused}, Case{"256", "5", delayRefused},
              Case{"-1", "5", delayRefused}, Case{"3 分", "5", delayRefused},
              Case{"", "5", delayRefused}, Case{"1", "1000", curtainRefused},
              Case{"1", "abc", curtainRefused}, Case{"1", "12ab", curtainRefused}}) {
            delay->setEditText(QString::fromUtf8(c.delay));
            curtain->setText(QString::fromUtf8(c.curtain));
            ModalSeam::queueAnswer(0);
            child<QPushButton>(w, "button1049")->click();
            QCOMPARE(ModalSeam::seen().last(), c.message);
            QVERIFY(!w->panel()->busy());
            QVERIFY(!w->panel()->roomParameters());
        }
        QCOMPARE(busy.size(), 0);
        QTest::qWait(200);
        QVERIFY(app.simulator()->roomBlocks().empty());
        for (std::size_t i = logStart; i < app.simulator()->log().size(); ++i)
            QVERIFY(app.simulator()->log().snapshot()[i].kind() != "rx");
        QCOMPARE(app.shellState().visualizerNumber, 1);
    }

    void buttonsGreyingOutDuringAWrite_leaveNoFieldFocusedOrSelected() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        QApplication::setActiveWindow(w);
        QTRY_VERIFY(w->isActiveWindow());
        auto* source = child<QComboBox>(w, "combo1043");
        auto* card = child<QLineEdit>(w, "edit1086");
        card->setText(QStringLiteral("12345678"));
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        int ends = 0;
        for (const char* name : {"button1049", "button1087"}) {
            auto* button = child<QPushButton>(w, name);
            button->setFocus();
            QTRY_VERIFY(button->hasFocus());
            QTest::keyClick(button, Qt::Key_Space); // pressed from the keyboard
            QVERIFY(w->panel()->busy());
            QVERIFY2(!source->hasFocus() && !source->lineEdit()->hasSelectedText(), name);
            QVERIFY2(!card->hasFocus() && !card->hasSelectedText(), name);
            ends += 2;
            QTRY_COMPARE_WITH_TIMEOUT(busy.size(), ends, 5000);
            QVERIFY2(button->hasFocus(), name); // back where it was
        }
    }

    void portThatCannotBeOpened_isReportedAndNothingLooksWritten() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        app.shellState().portName = "/dev/pj-no-such-port";
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        auto& rows = *qobject_cast<CodeListModel*>(child<CodeListView>(w, "list1010")->model());
        rows.setStatus(0, link::RowStatus::Confirmed);

        ModalSeam::queueAnswer(0); // the message box
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        child<QPushButton>(w, "button1013")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("无法打开串口 /dev/pj-no-such-port"));
        QCOMPARE(ModalSeam::seen().size(), 2);                // shown once
        QCOMPARE(rows.status(0), link::RowStatus::Confirmed); // untouched: nothing was written
        QCOMPARE(child<QProgressBar>(w, "progress1052")->value(), 0);
        QCOMPARE(child<QPushButton>(w, "button1013")->text(), QStringLiteral("写码"));
        QVERIFY(child<QPushButton>(w, "button1013")->isEnabled());

        // The ID card is refused the same way.
        ModalSeam::queueAnswer(0);
        child<QLineEdit>(w, "edit1086")->setText(QStringLiteral("12345678"));
        child<QPushButton>(w, "button1087")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 4, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QVERIFY(app.simulator()->cards().empty());

        // No port at all: said so, instead of a name that is not there.
        app.shellState().portName.clear();
        ModalSeam::queueAnswer(0);
        child<QPushButton>(w, "button1013")->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 6, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("没有设置串口，请先选择串口"));
    }

    void refusals_areShownWithTheirTexts_andNothingIsSent() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        auto* write = child<QPushButton>(w, "button1013");
        const std::size_t logStart = app.simulator()->log().size();
        auto framesSent = [&] {
            int n = 0;
            const auto events = app.simulator()->log().snapshot();
            for (std::size_t i = logStart; i < events.size(); ++i)
                n += events[i].kind() == "frame";
            return n;
        };

        // A machine type typed rather than chosen: edition 21 cannot tell its chunking.
        app.shellState().machineType = -1;
        ModalSeam::queueAnswer(0);
        write->click();
        QVERIFY(!w->panel()->busy());
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("请选择机器类型"));
        app.shellState().machineType = 0;

        // A code longer than the frame's 61 bytes is refused for its row only.
        std::string longCode;
        for (int i = 0; i < 70; ++i)
            longCode += "a5 ";
        app.selectedModel().rows[0].codeText = longCode;
        const QString name = QString::fromStdString(app.selectedModel().rows[0].name);
        ModalSeam::queueAnswer(0);
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        write->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(),
                 QStringLiteral("功能码过长（最多61字节）") + QLatin1Char('\n') + name);
        QCOMPARE(framesSent(), 0);
    }

    void approximateProjectorSpeed_asksFirst_andCancelWritesNothing() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        auto* tree = child<CatalogueTree>(w, "tree1009");
        // A model above 38400 baud: edition 21 (group A) can only approximate it.
        QTreeWidgetItem* fast = nullptr;
        const auto all = app.catalogue().loadTree();
        for (const auto& m : all->models) {
            if (app.catalogue().loadModel(m.id)->baud <= 38400)
                continue;
            for (const auto& c : all->companies)
                if (c.id == m.companyId)
                    fast = tree->modelItem(c.name, m.name);
            break;
        }
        if (!fast)
            QSKIP("the delivered catalogue has no model above 38400 baud");
        tree->setCurrentItem(fast);
        const std::size_t logStart = app.simulator()->log().size();
        ModalSeam::queueAnswer(QMessageBox::Cancel);
        child<QPushButton>(w, "button1013")->click();
        QVERIFY(!w->panel()->busy());
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("question"));
        QVERIFY(ModalSeam::seen().filter(QStringLiteral("是否继续")).size() == 1);
        QTest::qWait(300);
        for (std::size_t i = logStart; i < app.simulator()->log().size(); ++i)
            QVERIFY(app.simulator()->log().snapshot()[i].kind() != "frame");
        QCOMPARE(child<QPushButton>(w, "button1013")->text(), QStringLiteral("写码"));
    }

    void writingTwoRows_sendsExactlyTheirFrames_andAKeyPressTicksTheRow() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        auto* tree = child<CatalogueTree>(w, "tree1009");
        auto* list = child<CodeListView>(w, "list1010");
        auto* write = child<QPushButton>(w, "button1013");
        auto* progress = child<QProgressBar>(w, "progress1052");
        const auto pick = pickModel(app);
        QVERIFY(pick);
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        auto& rows = *qobject_cast<CodeListModel*>(list->model());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(rows.index(2, 1)).center());
        QVERIFY(rows.isSelected(0) && !rows.isSelected(1) && rows.isSelected(2));
        const link::CodeListEntry row0 = app.selectedModel().rows[0];
        const link::CodeListEntry row2 = app.selectedModel().rows[2];

        sim::Simulator& sim = *app.simulator();
        const std::size_t logStart = sim.log().size();
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        int maxProgress = 0;
        connect(progress, &QProgressBar::valueChanged, this,
                [&maxProgress](int v) { maxProgress = std::max(maxProgress, v); });
        write->click();
        QCOMPARE(write->text(), QStringLiteral("..."));
        QVERIFY(!write->isEnabled());
        QVERIFY(!tree->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 15000);
        QCOMPARE(write->text(), QStringLiteral("写码"));
        QVERIFY(write->isEnabled());
        QCOMPARE(progress->value(), 0);
        QCOMPARE(maxProgress, 100);
        QVERIFY(ModalSeam::seen().size() == 1); // no message box was needed

        std::vector<sim::Event> frames;
        const auto events = sim.log().snapshot();
        for (std::size_t i = logStart; i < events.size(); ++i) {
            QVERIFY2(events[i].kind() != "rejected", events[i].json().c_str());
            if (events[i].kind() == "frame")
                frames.push_back(events[i]);
        }
        QCOMPARE(frames.size(), std::size_t{2});
        const auto hex = [](const link::CodeListEntry& e) {
            return link::bytesToCodeText(link::codeTextToBytes(e.codeText));
        };
        QCOMPARE(frames[0].number("key"), std::optional<long long>(row0.keyType));
        QCOMPARE(frames[0].text("code"), std::optional<std::string>(hex(row0)));
        QCOMPARE(frames[1].number("key"), std::optional<long long>(row2.keyType));
        QCOMPARE(frames[1].text("code"), std::optional<std::string>(hex(row2)));
        QCOMPARE(frames[1].number("visualizer"), std::optional<long long>(1));
        QCOMPARE(app.selectedModel().lastParity, row2.parity);
        // Listening now with the projector's speed and the last row's parity.
        QVERIFY(app.channel().isOpen());
        QCOMPARE(app.channel().settings().baud, app.selectedModel().selectedBaud);
        QCOMPARE(app.channel().settings().parityCode, static_cast<int>(row2.parity));

        // The controller sends row 2's code when its key is pressed.
        QVERIFY(!sim.press(static_cast<int>(row2.keyType)).empty());
        QTRY_COMPARE_WITH_TIMEOUT(rows.status(2), link::RowStatus::Confirmed, 3000);
        QCOMPARE(rows.status(0), link::RowStatus::Unconfirmed);
        QCOMPARE(rows.status(1), link::RowStatus::Unconfirmed);
    }

    void rowsNoFrameCanCarry_andSpeedZero_areRefusedWithTheirTexts() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        auto* write = child<QPushButton>(w, "button1013");
        const std::size_t logStart = app.simulator()->log().size();

        // A slot the catalogue should never have held: refused for its row,
        // which the message names, and never sent as key 0.
        app.selectedModel().rows[0].keyType = 256;
        const QString name = QString::fromStdString(app.selectedModel().rows[0].name);
        ModalSeam::queueAnswer(0);
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        write->click();
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(),
                 QStringLiteral("键位 256 无效（应为 0 到 17）") + QLatin1Char('\n') + name);
        const auto events = app.simulator()->log().snapshot();
        for (std::size_t i = logStart; i < events.size(); ++i)
            QVERIFY(events[i].kind() != "frame");

        // A model whose speed is 0: refused before the port is touched.
        app.selectedModel().rows[0].keyType = 0;
        app.selectedModel().selectedBaud = 0;
        ModalSeam::queueAnswer(0);
        write->click();
        QVERIFY(!w->panel()->busy());
        QCOMPARE(ModalSeam::seen().last(), QStringLiteral("投影机波特率无效（0），未写入任何数据"));
    }

    void closingDuringAWrite_stopsAtTheNextPause_andSaysHowManyCodesWentOut() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        auto* tree = child<CatalogueTree>(w, "tree1009");
        auto* list = child<CodeListView>(w, "list1010");
        const auto pick = pickModel(app);
        QVERIFY(pick);
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        auto& rows = *qobject_cast<CodeListModel*>(list->model());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(rows.index(2, 1)).center());
        QVERIFY(rows.isSelected(0) && rows.isSelected(2));

        sim::Simulator& sim = *app.simulator();
        const std::size_t logStart = sim.log().size();
        ModalSeam::queueAnswer(0); // the stop's message
        child<QPushButton>(w, "button1013")->click();
        QVERIFY(sim.log().waitFor("frame", std::chrono::seconds(5), logStart));
        QVERIFY(!w->close()); // the write runs: the window stays for now
        QVERIFY(w->isVisible());
        QVERIFY2(w->windowTitle().contains(QStringLiteral("停止后关闭窗口")),
                 qPrintable(w->windowTitle()));
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QVERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(),
                 QStringLiteral("写码已停止：已写入 1 个功能码（共 2 个）"));
        int frames = 0;
        for (const auto& e : sim.log().snapshot())
            frames += e.kind() == "frame";
        QCOMPARE(frames, 1);
        QVERIFY(!app.channel().isOpen());
    }

    void adapterPulledAfterTheLastFrame_failsTheWriteWithItsMessage() {
        letDetectionRun();
        ProjectorApp app(simulated());
        QVERIFY(app.start());
        MainWindow* w = app.mainWindow();
        const auto pick = pickModel(app);
        QVERIFY(pick);
        auto* tree = child<CatalogueTree>(w, "tree1009");
        tree->setCurrentItem(tree->modelItem(pick->company, pick->model));
        sim::Simulator& sim = *app.simulator();
        const std::string port = sim.portPath();
        const std::size_t logStart = sim.log().size();
        QSignalSpy busy(w->panel(), &MainPanel::busyChanged);
        ModalSeam::queueAnswer(0); // one message, however many report the loss
        child<QPushButton>(w, "button1013")->click();
        QVERIFY(sim.log().waitFor("frame", std::chrono::seconds(5), logStart));
        sim.unplug(); // during the pauses after the only frame
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 5000);
        QTRY_VERIFY(!ModalSeam::pending());
        QCOMPARE(ModalSeam::seen().last(),
                 QStringLiteral("串口 %1 已断开").arg(QString::fromStdString(port)));
        QCOMPARE(ModalSeam::seen().filter(QStringLiteral("已断开")).size(), 1);
        QVERIFY(!app.channel().isOpen());
        QCOMPARE(child<QProgressBar>(w, "progress1052")->value(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
