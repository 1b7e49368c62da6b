// The program's dialogs driven through their real widgets, found by object
// name: message dialog results, the About box, the settings dialog's rules and
// fold-out pane, the detection dialog with a scripted scan, and the help opener.

#include "shell/dialogs/aboutdialog.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/help.h"
#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/dialogs/parameterdialog.h"
#include "skin/bitmapbutton.h"
#include "skin/centre.h"
#include "skin/units.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <thread>

using namespace pj::shell;
using pj::link::ShellState;

namespace {

constexpr auto ok = pj::link::PortOpenStatus::Ok;

template <typename T = QWidget> T* child(QWidget& parent, const char* name) {
    auto* w = parent.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control named %s", name);
    return w;
}

void clickPicture(QWidget* w) {
    const QPoint p(w->width() / 2, w->height() / 2);
    const QPointF g(w->mapToGlobal(p));
    QMouseEvent move(QEvent::MouseMove, QPointF(p), g, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), g, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(p), g, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

QPoint centred(const QWidget& w) {
    return pj::skin::centredPosition(QGuiApplication::primaryScreen()->geometry(), w.size());
}

// Runs `d` modelessly and returns its result once it has ended.
int resultAfter(QDialog& d, const std::function<void()>& act) {
    d.show();
    act();
    return d.isVisible() ? -1 : d.result();
}

ParameterDialog::Hooks fakePorts(std::vector<pj::link::PortCheck> ports, int* closes = nullptr) {
    ParameterDialog::Hooks h;
    h.listPorts = [ports] { return ports; };
    h.closeChannel = [closes] {
        if (closes)
            ++*closes;
    };
    return h;
}

// A scan that waits for its stop request (or `release`), reporting progress.
DetectionScan waitingScan(std::atomic<bool>& running, std::atomic<bool>& sawStop) {
    return [&running, &sawStop](const std::function<void(int)>& progress, std::stop_token stop) {
        running = true;
        progress(10);
        while (!stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sawStop = true;
        running = false;
        return ScanOutcome{};
    };
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { ModalSeam::reset(); }

    void messageDialogs_endWithTheirTableResults();
    void messageDialog_closeButtonCancels();
    void messageDialog_runGoesThroughTheSeam();
    void aboutDialog_okIsOneAndItCentres();

    void parameterSettings_listsAndInitialRows();
    void parameterSettings_okStoresEditionAndSpeed();
    void parameterDialog_fillsListsFromPortsAndState();
    void parameterDialog_showsShortPortNamesAndStoresWholeOnes();
    void parameterDialog_showsBusyAndForbiddenPortsGreyedWithTheReason();
    void parameterDialog_editionChoiceEnablesTypeList();
    void parameterDialog_orvelNetworkStores21At1200();
    void parameterDialog_foldingReturnsToTheSameTwoSizes();
    void parameterDialog_closedStoresNothing();
    void parameterDialog_listsShowWholeItemsAndCrystalsStayWithTheirValues();

    void detection_foundEndsWithTwoAndSetsState();
    void detection_noPortsShowsNotFoundAtOnce();
    void detection_manualDuringScanEmptiesPort();
    void detection_exitDuringScanEndsWithZero();
    void detection_searchAgainRunsANewScan();
    void detection_destroyedWhileScanningWaitsForWorker();
    void detection_notFoundListsThePortsItCouldNotUse();

    void help_missingFileDoesNothing();
    void help_opensWithDesktopOrOwnWindow();
    void helpWindow_showsTheTableOfContents();
    void helpFile_isCompiledInChinese();
};

void TestDialogs::messageDialogs_endWithTheirTableResults() {
    struct Case {
        MessageDialog::Template t;
        const char* button;
        int result;
        const char16_t* text;
    } cases[] = {
        {MessageDialog::DatabaseMissing, "button1055", 0, u"没找到数据库文件！"},
        {MessageDialog::ConfirmDelete, "button1056", 1, u"确定要删除吗？"},
        {MessageDialog::ConfirmDelete, "button1057", 0, u"确定要删除吗？"},
        {MessageDialog::ModelNameMissing, "button1060", 1, u"请填写型号！"},
    };
    for (const auto& c : cases) {
        MessageDialog d(c.t);
        QCOMPARE(d.windowTitle(), QStringLiteral("警告"));
        const auto* label = child<QLabel>(d, qPrintable(QStringLiteral("label%1").arg(int(c.t))));
        QCOMPARE(label->text(), QString::fromUtf16(c.text));
        d.setResult(9);
        QCOMPARE(resultAfter(d, [&] { child<QPushButton>(d, c.button)->click(); }), c.result);
    }
    MessageDialog big(MessageDialog::DatabaseMissing);
    QCOMPARE(big.size(), pj::skin::dluSize(131, 65));
    QCOMPARE(child<QPushButton>(big, "button1055")->geometry(), pj::skin::dlu(47, 36, 37, 15));
    MessageDialog confirm(MessageDialog::ConfirmDelete);
    QCOMPARE(confirm.size(), pj::skin::dluSize(155, 71));
    QCOMPARE(child<QPushButton>(confirm, "button1057")->text(), QStringLiteral("Cancel"));
}

void TestDialogs::messageDialog_closeButtonCancels() {
    for (auto t : {MessageDialog::DatabaseMissing, MessageDialog::ConfirmDelete,
                   MessageDialog::ModelNameMissing}) {
        MessageDialog d(t);
        d.setResult(9);
        QCOMPARE(resultAfter(d, [&] { clickPicture(child(d, "button104")); }), 0);
    }
}

void TestDialogs::messageDialog_runGoesThroughTheSeam() {
    ModalSeam::queueAnswer(1);
    ModalSeam::queueHandler([](QDialog& d) {
        child<QPushButton>(d, "button1057")->click(); // the real Cancel
        return d.result();
    });
    QCOMPARE(MessageDialog::run(MessageDialog::ConfirmDelete), 1);
    QCOMPARE(MessageDialog::run(MessageDialog::ConfirmDelete), 0);
    QVERIFY(!ModalSeam::pending());
    QCOMPARE(ModalSeam::seen(),
             (QStringList{QStringLiteral("message140"), QStringLiteral("message140")}));
    ModalSeam::queueAnswer(0);
    showMessage(nullptr, QStringLiteral("设置失败"));
    QCOMPARE(ModalSeam::seen().last(), QStringLiteral("设置失败"));
}

void TestDialogs::aboutDialog_okIsOneAndItCentres() {
    AboutDialog d;
    QCOMPARE(d.windowTitle(), QStringLiteral("关于"));
    QCOMPARE(d.size(), pj::skin::dluSize(218, 139));
    QCOMPARE(d.pos(), centred(d));
    QVERIFY(!child<QLabel>(d, "labelAuthor")->text().isEmpty());
    QVERIFY(!child<QLabel>(d, "labelContact")->text().isEmpty());
    QCOMPARE(resultAfter(d, [&] { child<QPushButton>(d, "button1022")->click(); }), 1);
    AboutDialog closed;
    closed.setResult(5);
    QCOMPARE(resultAfter(closed, [&] { clickPicture(child(closed, "button104")); }), 0);
}

void TestDialogs::parameterSettings_listsAndInitialRows() {
    ShellState s;
    s.portName.clear();
    const ParameterSettings ports(s, {"COM10", "COM2", "/dev/ttyUSB1", "COM2", "/dev/pts/3"});
    QCOMPARE(ports.ports(),
             (std::vector<std::string>{"/dev/pts/3", "/dev/ttyUSB1", "COM2", "COM10"}));
    QCOMPARE(ports.initialPortText(), std::string("/dev/pts/3"));
    QCOMPARE(ParameterSettings(s, {}).initialPortText(), std::string());
    s.portName = "COM7";
    QCOMPARE(ParameterSettings(s, {"COM1"}).initialPortText(), std::string("COM7"));

    QCOMPARE(ParameterSettings::typeLabels(), (std::vector<std::string>{"单机版", "网络版"}));
    QCOMPARE(ParameterSettings::editionLabels(),
             (std::vector<std::string>{"Cendo版", "Orvel版", "Tamir版", "Lumer版", "Vetra版",
                                       "VRKT版", "Dorim版"}));
    struct Row {
        int code;
        int row;
        bool typeEnabled;
    } rows[] = {{22, 2, true},    {2006, 3, true},  {21, 1, true},    {31, 0, false},
                {2007, 4, false}, {2008, 5, false}, {2009, 6, false}, {77, -1, true}};
    for (const auto& r : rows) {
        s.editionCode = r.code;
        const ParameterSettings p(s, {});
        QCOMPARE(p.initialEditionRow(), r.row);
        QCOMPARE(p.initialTypeListEnabled(), r.typeEnabled);
    }
    s.machineType = 1;
    QCOMPARE(ParameterSettings(s, {}).initialTypeIndex(), 1);
    s.machineType = -1;
    QCOMPARE(ParameterSettings(s, {}).initialTypeIndex(), 0);
}

void TestDialogs::parameterSettings_okStoresEditionAndSpeed() {
    struct Case {
        const char* label;
        int type;
        int code;
        int baud;
    } cases[] = {
        {"Orvel版", 1, 21, 1200},    {"Orvel版", 0, 21, 600},     {"Orvel版", -1, 21, 600},
        {"Tamir版", 1, 22, 1200},    {"Tamir版", 0, 22, 600},     {"Lumer版", 0, 2006, 9600},
        {"Lumer版", 1, 2006, 9600},  {"Cendo版", 1, 31, 1200},    {"Vetra版", 0, 2007, 9600},
        {"VRKT版", 1, 2008, 115200}, {"Dorim版", 0, 2009, 19200},
    };
    for (const auto& c : cases) {
        ShellState s;
        ParameterSettings::accept(s, " /dev/ttyUSB10 ", c.type, c.label);
        QCOMPARE(s.editionCode, c.code);
        QCOMPARE(s.controllerBaud, c.baud);
        QCOMPARE(s.machineType, c.type);
        QCOMPARE(s.portName, std::string("/dev/ttyUSB10")); // whole name, trimmed
    }
    ShellState s;
    s.editionCode = 2008;
    s.controllerBaud = 115200;
    ParameterSettings::accept(s, "COM1", 5, "Unknown版");
    QCOMPARE(s.editionCode, 2008); // unknown label: edition and speed stay
    QCOMPARE(s.controllerBaud, 115200);
    QCOMPARE(s.machineType, -1);
    QVERIFY(ParameterSettings::typeListEnabledFor("Orvel版"));
    QVERIFY(ParameterSettings::typeListEnabledFor("Tamir版"));
    QVERIFY(ParameterSettings::typeListEnabledFor("Lumer版"));
    for (const char* off : {"Cendo版", "Vetra版", "VRKT版", "Dorim版"})
        QVERIFY(!ParameterSettings::typeListEnabledFor(off));
}

void TestDialogs::parameterDialog_fillsListsFromPortsAndState() {
    ShellState s;
    s.portName.clear();
    s.editionCode = 2006;
    int closes = 0;
    ParameterDialog d(s, fakePorts({{"COM3", ok}, {"COM1", ok}, {"COM10", ok}}, &closes));
    QCOMPARE(closes, 1);
    QCOMPARE(d.windowTitle(), QStringLiteral("参数设置"));
    auto* port = child<QComboBox>(d, "combo1037");
    QCOMPARE(port->count(), 3);
    QCOMPARE(port->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(port->itemText(2), QStringLiteral("COM10"));
    QCOMPARE(port->currentText(), QStringLiteral("COM1"));
    auto* type = child<QComboBox>(d, "combo1040");
    QCOMPARE(type->itemText(0), QStringLiteral("单机版"));
    QCOMPARE(type->itemText(1), QStringLiteral("网络版"));
    auto* edition = child<QComboBox>(d, "combo1038");
    QCOMPARE(edition->count(), 7);
    QCOMPARE(edition->currentIndex(), 3); // 2006 selects row 3 ...
    QVERIFY(type->isEnabled());           // ... and enables the type list

    ShellState held;
    held.portName = "COM5"; // stored earlier, busy now: still shown
    held.editionCode = 31;
    held.machineType = 1;
    ParameterDialog d2(held, fakePorts({{"COM1", ok}}));
    QCOMPARE(child<QComboBox>(d2, "combo1037")->currentText(), QStringLiteral("COM5"));
    QCOMPARE(child<QComboBox>(d2, "combo1038")->currentIndex(), 0);
    QVERIFY(!child<QComboBox>(d2, "combo1040")->isEnabled());
    QCOMPARE(child<QComboBox>(d2, "combo1040")->currentIndex(), 1);

    ShellState none;
    none.portName.clear();
    ParameterDialog d3(none, fakePorts({}));
    QCOMPARE(child<QComboBox>(d3, "combo1037")->currentText(), QString());
}

void TestDialogs::parameterDialog_showsBusyAndForbiddenPortsGreyedWithTheReason() {
    using pj::link::PortOpenStatus;
    ShellState s;
    s.portName.clear();
    ParameterDialog d(s, fakePorts({{"COM1", PortOpenStatus::PermissionDenied},
                                    {"COM4", PortOpenStatus::Ok},
                                    {"COM3", PortOpenStatus::Busy},
                                    {"COM9", PortOpenStatus::Unavailable},
                                    {"COM2", PortOpenStatus::SettingsRefused}}));
    auto* port = child<QComboBox>(d, "combo1037");
    // The ports that opened first, then the ones that are there but cannot be
    // had; an absent port is not shown.
    QCOMPARE(port->count(), 4);
    QCOMPARE(port->itemText(0), QStringLiteral("COM2"));
    QCOMPARE(port->itemText(1), QStringLiteral("COM4"));
    QCOMPARE(port->itemText(2), QStringLiteral("COM1（无权限）"));
    QCOMPARE(port->itemText(3), QStringLiteral("COM3（被占用）"));
    QVERIFY(port->itemData(2, Qt::ToolTipRole).toString().contains(QStringLiteral("没有权限")));
    QVERIFY(port->itemData(3, Qt::ToolTipRole).toString().contains(QStringLiteral("占用")));
    const auto* items = qobject_cast<const QStandardItemModel*>(port->model());
    QVERIFY(items);
    QVERIFY(items->item(0)->isEnabled());
    QVERIFY(!items->item(2)->isEnabled());
    QVERIFY(!items->item(3)->isEnabled());
    QCOMPARE(port->currentText(), QStringLiteral("COM2"));

    // With nothing to choose from, a greyed port is never the one selected.
    ShellState none;
    none.portName.clear();
    ParameterDialog d2(none, fakePorts({{"COM1", PortOpenStatus::Busy}}));
    QCOMPARE(child<QComboBox>(d2, "combo1037")->currentText(), QString());
}

void TestDialogs::parameterDialog_showsShortPortNamesAndStoresWholeOnes() {
#ifdef Q_OS_WIN
    // Windows names its ports COM1, COM2, ...: shown, typed and stored as they are.
    ShellState w;
    w.portName = "COM12";
    ParameterDialog dw(w, fakePorts({{"COM3", ok}}));
    auto* portW = child<QComboBox>(dw, "combo1037");
    QCOMPARE(portW->currentText(), QStringLiteral("COM12"));
    QCOMPARE(portW->itemText(0), QStringLiteral("COM3"));
    portW->setEditText(QStringLiteral(" COM7 "));
    QCOMPARE(resultAfter(dw, [&] { child<QPushButton>(dw, "button1039")->click(); }), 1);
    QCOMPARE(w.portName, std::string("COM7"));
    QSKIP("device paths under /dev, shown by their short names, exist on POSIX only");
#endif
    ShellState s;
    s.portName.clear();
    ParameterDialog d(
        s, fakePorts({{"/dev/ttyUSB10", ok}, {"/dev/ttyUSB2", ok}, {"/tmp/pj/ttyPJ0", ok}}));
    auto* port = child<QComboBox>(d, "combo1037");
    QCOMPARE(port->itemText(0), QStringLiteral("ttyUSB2"));
    QCOMPARE(port->itemText(1), QStringLiteral("ttyUSB10"));
    QCOMPARE(port->itemText(2), QStringLiteral("/tmp/pj/ttyPJ0"));
    port->setCurrentIndex(1);
    QCOMPARE(port->toolTip(), QStringLiteral("/dev/ttyUSB10"));
    QCOMPARE(resultAfter(d, [&] { child<QPushButton>(d, "button1039")->click(); }), 1);
    QCOMPARE(s.portName, std::string("/dev/ttyUSB10"));

    // A typed short name stands for the device; a stored path is shown short.
    ShellState t;
    t.portName = "/dev/ttyS1";
    ParameterDialog d2(t, fakePorts({{"/dev/ttyS0", ok}}));
    auto* port2 = child<QComboBox>(d2, "combo1037");
    QCOMPARE(port2->currentText(), QStringLiteral("ttyS1"));
    port2->setEditText(QStringLiteral(" ttyACM0 "));
    QCOMPARE(resultAfter(d2, [&] { child<QPushButton>(d2, "button1039")->click(); }), 1);
    QCOMPARE(t.portName, std::string("/dev/ttyACM0"));
}

void TestDialogs::parameterDialog_editionChoiceEnablesTypeList() {
    ShellState s;
    s.editionCode = 21;
    ParameterDialog d(s, fakePorts({{"COM1", ok}}));
    auto* edition = child<QComboBox>(d, "combo1038");
    auto* type = child<QComboBox>(d, "combo1040");
    type->setCurrentIndex(1);
    const auto choose = [edition](int row) {
        edition->setCurrentIndex(row);
        Q_EMIT edition->activated(row);
    };
    for (int row : {0, 4, 5, 6}) {
        choose(row);
        QVERIFY2(!type->isEnabled(), qPrintable(edition->itemText(row)));
    }
    QCOMPARE(type->currentIndex(), 1); // kept while disabled
    for (int row : {1, 2, 3}) {
        choose(row);
        QVERIFY2(type->isEnabled(), qPrintable(edition->itemText(row)));
    }
}

void TestDialogs::parameterDialog_orvelNetworkStores21At1200() {
    ShellState s;
    s.editionCode = 2008;
    s.controllerBaud = 115200;
    ParameterDialog d(s, fakePorts({{"COM2", ok}, {"COM4", ok}}));
    child<QComboBox>(d, "combo1037")->setCurrentIndex(1);
    child<QComboBox>(d, "combo1038")->setCurrentIndex(1); // "Orvel版"
    child<QComboBox>(d, "combo1040")->setCurrentIndex(1); // "网络版"
    QCOMPARE(resultAfter(d, [&] { child<QPushButton>(d, "button1039")->click(); }), 1);
    QCOMPARE(s.editionCode, 21);
    QCOMPARE(s.controllerBaud, 1200);
    QCOMPARE(s.machineType, 1);
    QCOMPARE(s.portName, std::string("COM4"));

    ShellState t;
    ParameterDialog d2(t, fakePorts({{"COM2", ok}}));
    child<QComboBox>(d2, "combo1038")->setCurrentIndex(1);
    child<QComboBox>(d2, "combo1040")
        ->setEditText(QStringLiteral("单机版")); // typed, matches a row
    child<QPushButton>(d2, "button1039")->click();
    QCOMPARE(t.controllerBaud, 600);
    QCOMPARE(t.machineType, 0);
}

void TestDialogs::parameterDialog_foldingReturnsToTheSameTwoSizes() {
    ShellState s;
    ParameterDialog d(s, fakePorts({{"COM1", ok}}));
    d.show();
    auto* arrow = child<pj::skin::BitmapButton>(d, "picture1088");
    QCOMPARE(arrow->size(), QSize(14, 60));
    const QSize folded(arrow->x() + arrow->width() + 4, pj::skin::dluY(155));
    const QSize full = pj::skin::dluSize(318, 155);
    QVERIFY(!d.expanded());
    QCOMPARE(d.size(), folded);
    QCOMPARE(d.pos(), centred(d));
    for (int i = 0; i < 3; ++i) {
        clickPicture(arrow);
        QVERIFY(d.expanded());
        QCOMPARE(d.size(), full);
        QCOMPARE(d.pos(), centred(d));
        QCOMPARE(d.mask(), pj::skin::roundedRegion(full));
        QCOMPARE(d.captionBar()->width(), full.width());
        clickPicture(arrow);
        QVERIFY(!d.expanded());
        QCOMPARE(d.size(), folded);
        QCOMPARE(d.pos(), centred(d));
        QCOMPARE(d.mask(), pj::skin::roundedRegion(folded));
    }
    QVERIFY(d.isVisible()); // folding does not end the dialog
}

void TestDialogs::parameterDialog_closedStoresNothing() {
    ShellState s;
    s.portName = "COM3";
    s.editionCode = 2007;
    s.controllerBaud = 9600;
    ParameterDialog d(s, fakePorts({{"COM1", ok}}));
    child<QComboBox>(d, "combo1038")->setCurrentIndex(1);
    QCOMPARE(resultAfter(d, [&] { clickPicture(child(d, "button104")); }), 0);
    QCOMPARE(s.editionCode, 2007);
    QCOMPARE(s.portName, std::string("COM3"));
}

void TestDialogs::parameterDialog_listsShowWholeItemsAndCrystalsStayWithTheirValues() {
    ShellState s;
    ParameterDialog d(s, fakePorts({{"COM1", ok}}));
    d.toggleNotes();
    d.show();
    // Every item of the type and edition lists fits beside the list's arrow.
    for (const char* name : {"combo1040", "combo1038"}) {
        auto* combo = child<QComboBox>(d, name);
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                           QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            const int need = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            QVERIFY2(need <= field.width(), qPrintable(combo->itemText(i)));
        }
        // ... and the list stays inside its group.
        QVERIFY(child(d, "groupSettings")->geometry().contains(combo->geometry()));
    }
    // A note that needs two lines breaks before "晶振", never inside
    // "晶振=…Mhz"; each line fits the label.
    for (const char* name : {"note1", "note2", "note3"}) {
        auto* note = child<QLabel>(d, name);
        const QString text = note->text();
        QVERIFY(text.contains(QStringLiteral("晶振=")));
        const QStringList lines = text.split(QLatin1Char('\n'));
        QVERIFY(lines.last().startsWith(QStringLiteral("晶振=")) || lines.size() == 1);
        for (const QString& line : lines)
            QVERIFY2(note->fontMetrics().horizontalAdvance(line) <= note->width(),
                     qPrintable(line));
        QVERIFY(!note->wordWrap());
        QVERIFY(note->height() >= note->sizeHint().height());
        QVERIFY(child(d, "groupNotes")->geometry().contains(note->geometry()));
    }
}

void TestDialogs::detection_foundEndsWithTwoAndSetsState() {
    ShellState s;
    s.machineType = 1;
    std::thread::id scanThread;
    DetectionDialog d(s, [&scanThread](const std::function<void(int)>& progress, std::stop_token) {
        scanThread = std::this_thread::get_id();
        progress(30);
        return ScanOutcome{true, "COM3", 21, 1200, {}};
    });
    QCOMPARE(d.windowTitle(), QStringLiteral("检测中控"));
    QCOMPARE(child<QLabel>(d, "label1078")->text(), QStringLiteral("正在查找中控 . . ."));
    QVERIFY(!child<QPushButton>(d, "button1080")->isEnabled());
    d.show();
    QTRY_VERIFY(!d.isVisible());
    QCOMPARE(d.result(), 2);
    QVERIFY(scanThread != std::this_thread::get_id()); // off the user-interface thread
    QCOMPARE(s.editionCode, 21);
    QCOMPARE(s.controllerBaud, 1200);
    QCOMPARE(s.portName, std::string("COM3"));
    QCOMPARE(s.machineType, 1); // detection leaves the machine type
    QVERIFY(!d.scanRunning());
}

void TestDialogs::detection_noPortsShowsNotFoundAtOnce() {
    ShellState s;
    s.portName = "COM1";
    DetectionDialog d(s, [](const std::function<void(int)>& progress, std::stop_token) {
        progress(100);
        return ScanOutcome{};
    });
    QSignalSpy ended(&d, &DetectionDialog::scanEnded);
    d.show();
    QTRY_COMPARE(ended.count(), 1);
    QVERIFY(d.isVisible());
    QCOMPARE(child<QProgressBar>(d, "progress1075")->value(), 100);
    QCOMPARE(child<QLabel>(d, "label1078")->text(),
             QStringLiteral("没有找到合适的中控，请使用 “手工设置” 。"));
    QVERIFY(child<QPushButton>(d, "button1080")->isEnabled());
    QCOMPARE(s.portName, std::string("COM1")); // nothing found, nothing changed
}

void TestDialogs::detection_manualDuringScanEmptiesPort() {
    ShellState s;
    s.portName = "COM4";
    std::atomic<bool> running{false}, sawStop{false};
    DetectionDialog d(s, waitingScan(running, sawStop));
    d.show();
    QTRY_VERIFY(running.load());
    QTRY_COMPARE(child<QProgressBar>(d, "progress1075")->value(), 10);
    child<QPushButton>(d, "button1076")->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), 1);
    QVERIFY(sawStop.load()); // asked to stop and waited for
    QVERIFY(!d.scanRunning());
    QCOMPARE(s.portName, std::string());
}

void TestDialogs::detection_exitDuringScanEndsWithZero() {
    ShellState s;
    s.portName = "COM4";
    std::atomic<bool> running{false}, sawStop{false};
    {
        DetectionDialog d(s, waitingScan(running, sawStop));
        d.show();
        QTRY_VERIFY(running.load());
        child<QPushButton>(d, "button1077")->click();
        QCOMPARE(d.result(), 0);
        QVERIFY(sawStop.load());
    }
    QCOMPARE(s.portName, std::string("COM4"));
    sawStop = false;
    DetectionDialog closed(s, waitingScan(running, sawStop));
    closed.show();
    QTRY_VERIFY(running.load());
    clickPicture(child(closed, "button104"));
    QVERIFY(!closed.isVisible());
    QCOMPARE(closed.result(), 0);
    QVERIFY(sawStop.load());
}

void TestDialogs::detection_searchAgainRunsANewScan() {
    ShellState s;
    std::atomic<int> scans{0};
    DetectionDialog d(s, [&scans](const std::function<void(int)>& progress, std::stop_token) {
        const int n = ++scans;
        progress(100);
        if (n == 2)
            return ScanOutcome{true, "/dev/pts/7", 2007, 9600, {}};
        return ScanOutcome{};
    });
    QSignalSpy ended(&d, &DetectionDialog::scanEnded);
    d.show();
    QTRY_COMPARE(ended.count(), 1);
    auto* again = child<QPushButton>(d, "button1080");
    QVERIFY(again->isEnabled());
    again->click();
    QCOMPARE(child<QLabel>(d, "label1078")->text(), QStringLiteral("正在查找中控 . . ."));
    QTRY_VERIFY(!d.isVisible());
    QCOMPARE(scans.load(), 2);
    QCOMPARE(d.result(), 2);
    QCOMPARE(s.editionCode, 2007);
    QCOMPARE(s.portName, std::string("/dev/pts/7"));
}

void TestDialogs::detection_destroyedWhileScanningWaitsForWorker() {
    ShellState s;
    std::atomic<bool> running{false}, sawStop{false};
    auto d = std::make_unique<DetectionDialog>(s, waitingScan(running, sawStop));
    QTRY_VERIFY(running.load());
    d.reset();
    QVERIFY(sawStop.load());
    QVERIFY(!running.load());
    QCoreApplication::processEvents(); // posts for the gone dialog are dropped
}

void TestDialogs::detection_notFoundListsThePortsItCouldNotUse() {
    ShellState s;
    std::atomic<int> scans{0};
    const std::string denied = "没有权限打开串口 /dev/ttyS0。请把当前用户加入拥有该设备的 dialout "
                               "组：sudo usermod -aG dialout $USER，然后注销并重新登录";
    const std::string busy = "串口 /dev/ttyUSB0 正被 minicom（PID 812） 占用，请先关闭该程序";
    DetectionDialog d(s, [&](const std::function<void(int)>& progress, std::stop_token) {
        progress(100);
        ScanOutcome out;
        if (++scans == 1)
            out.unusable = {denied, busy};
        return out;
    });
    auto* list = child<QLabel>(d, "labelUnusable");
    auto* again = child<QPushButton>(d, "button1080");
    const QSize base = d.size();
    const int buttonsY = again->y();
    QVERIFY(list->isHidden());
    QSignalSpy ended(&d, &DetectionDialog::scanEnded);
    d.show();
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(child<QLabel>(d, "label1078")->text(),
             QStringLiteral("没有找到合适的中控，请使用 “手工设置” 。"));
    QVERIFY(list->isVisible());
    QCOMPARE(list->text(), QString::fromStdString(denied + "\n" + busy));
    // Everything is readable: the buttons moved below the list, the dialog grew.
    QVERIFY(list->geometry().bottom() < again->y());
    QVERIFY(list->height() >= list->heightForWidth(list->width()));
    QVERIFY(d.height() > base.height());
    QCOMPARE(d.width(), base.width());
    QCOMPARE(d.captionBar()->width(), d.width());
    QVERIFY(again->geometry().bottom() < d.height());

    again->click(); // a scan without trouble: back to the dialog's own size
    QTRY_COMPARE(ended.count(), 2);
    QVERIFY(list->isHidden());
    QCOMPARE(d.size(), base);
    QCOMPARE(again->y(), buttonsY);
}

void TestDialogs::help_missingFileDoesNothing() {
    int calls = 0;
    HelpOpener opener({[&calls](const QString&) { return ++calls, true; },
                       [&calls](const QUrl&) { return ++calls, true; }, [&calls] { ++calls; }});
    QTemporaryDir dir;
    QCOMPARE(opener.open(dir.filePath(QStringLiteral("PROJECTOR.chm"))),
             HelpOpener::Outcome::Missing);
    QCOMPARE(calls, 0);
}

void TestDialogs::help_opensWithDesktopOrOwnWindow() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("PROJECTOR.chm"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("ITSF");
    f.close();

    QUrl opened;
    int own = 0;
    bool viewer = true;
    bool opens = true;
    HelpOpener opener({[&viewer](const QString&) { return viewer; },
                       [&opened, &opens](const QUrl& u) {
                           opened = u;
                           return opens;
                       },
                       [&own] { ++own; }});
    QCOMPARE(opener.open(file), HelpOpener::Outcome::Desktop);
    QCOMPARE(opened, QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    QCOMPARE(own, 0);
    viewer = false;
    QCOMPARE(opener.open(file), HelpOpener::Outcome::OwnWindow);
    QCOMPARE(own, 1);
    viewer = true;
    opens = false; // registered but failed to start
    QCOMPARE(opener.open(file), HelpOpener::Outcome::OwnWindow);
    QCOMPARE(own, 2);
}

void TestDialogs::helpWindow_showsTheTableOfContents() {
    HelpWindow w;
    const QStringList expected{
        QStringLiteral("公司介绍"),     QStringLiteral("软件介绍"),
        QStringLiteral("使用向导"),     QStringLiteral("  自动搜索中控机"),
        QStringLiteral("  写码主界面"), QStringLiteral("  手动设置串口"),
        QStringLiteral("  写投影机码"), QStringLiteral("  添加控制码"),
        QStringLiteral("  修改控制码"), QStringLiteral("  选择投影机信号源"),
        QStringLiteral("联系我们"),
    };
    QCOMPARE(w.contents(), expected);
    auto* page = child<QTextBrowser>(w, "helpPage");
    QVERIFY(page->toPlainText().contains(QStringLiteral("公司介绍")));
    auto* toc = child<QTreeWidget>(w, "helpContents");
    toc->setCurrentItem(toc->topLevelItem(2)->child(3)); // 写投影机码
    QVERIFY(page->toPlainText().contains(QStringLiteral("写投影机码")));
    QVERIFY(page->toPlainText().contains(QStringLiteral("写码")));
}

void TestDialogs::helpFile_isCompiledInChinese() {
#ifndef PJ_HELP_CHM
    QSKIP("the help compiler is not installed");
#else
    QFile chm(QStringLiteral(PJ_HELP_CHM));
    QVERIFY(chm.open(QIODevice::ReadOnly));
    const QByteArray head = chm.read(0x18);
    QVERIFY(head.startsWith("ITSF"));
    const auto language = qFromLittleEndian<quint32>(head.constData() + 0x14);
    QCOMPARE(language, quint32(0x804));
    // The table of contents and the pages are in GBK and say so.
    QFile hhc(QStringLiteral(PJ_HELP_GBK_DIR "/PROJECTOR.hhc"));
    QVERIFY(hhc.open(QIODevice::ReadOnly));
    const QByteArray toc = hhc.readAll();
    QVERIFY(toc.contains(QByteArray::fromHex("b9abcbbebde9c9dc"))); // 公司介绍
    QVERIFY(!toc.contains(QStringLiteral("公司介绍").toUtf8()));
    QFile page(QStringLiteral(PJ_HELP_GBK_DIR "/guide-write.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(page.readAll().contains("charset=gb2312"));
#endif
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
