// pj-screenshots OUTDIR CATALOGUE [--only NAME]...: shows every window of
// PROJECTOR in turn on the display it runs on (Xvfb, no window manager) and
// takes each as the display shows it (shell/screengrab.h), cropped to the
// window, into OUTDIR/NAME.png; with --only just those named (the Windows
// build under Wine takes only "main").

#include "record/linkrecording.h"
#include "shell/cataloguetree.h"
#include "shell/codelistview.h"
#include "shell/dialogs/aboutdialog.h"
#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/help.h"
#include "shell/dialogs/messagedialog.h"
#include "shell/dialogs/modal.h"
#include "shell/dialogs/parameterdialog.h"
#include "shell/dialogs/testsenddialog.h"
#include "shell/editor/keygrid.h"
#include "shell/editor/modeleditor.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "shell/receivemonitor.h"
#include "shell/records/recorddialog.h"
#include "shell/records/reportdialog.h"
#include "shell/records/roomnamedialog.h"
#include "shell/screengrab.h"
#include "shell/virtualpanel.h"
#include "sim/projectorsim.h"
#include "sim/simulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItem>

#include <iostream>

using namespace pj;
using namespace pj::shell;

namespace {

QString outDir;
QStringList only; // names to take; all when empty
int failures = 0;

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void grab(const QString& name, const QRect& area) {
    if (!only.isEmpty() && !only.contains(name))
        return;
    settle(250);
    const QString file = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (!grabScreenArea(file, area)) {
        std::cerr << "no picture of " << name.toStdString() << '\n';
        ++failures;
    } else {
        std::cout << file.toStdString() << '\n';
    }
}

void shoot(QWidget& w, const QString& name) {
    w.show();
    w.raise();
    w.activateWindow();
    settle(200);
    grab(name, w.frameGeometry());
}

void shootDialog(QDialog& d, const QString& name) {
    shoot(d, name);
    d.hide();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--only") && i + 1 < args.size())
            only << args[++i];
        else
            positional << args[i];
    }
    if (positional.size() != 2) {
        std::cerr << "usage: pj-screenshots OUTDIR CATALOGUE [--only NAME]...\n";
        return 2;
    }
    outDir = positional[0];
    QDir().mkpath(outDir);

    // The detection dialog while it searches: the simulator answers within a
    // few hundred milliseconds, too soon for a picture, so this one is taken
    // over a scan that reports a third of the way and waits to be stopped.
    {
        link::ShellState state;
        DetectionDialog searching(
            state, [](const std::function<void(int)>& progress, std::stop_token stop) {
                progress(35);
                while (!stop.stop_requested())
                    QThread::msleep(10);
                return ScanOutcome{};
            });
        searching.show();
        // The first window of the run also waits for the CJK fonts to load.
        settle(1200);
        grab(QStringLiteral("detection-searching"), searching.frameGeometry());
        searching.hide();
    }
    // Start-up with the built-in simulator, which the real scan finds.
    ModalSeam::queueHandler([](QDialog& d) {
        auto& dialog = static_cast<DetectionDialog&>(d);
        QEventLoop loop;
        QObject::connect(&dialog, &DetectionDialog::scanEnded, &loop, &QEventLoop::quit);
        dialog.show();
        if (dialog.scanRunning())
            loop.exec();
        dialog.hide();
        return dialog.result();
    });
    ProgramOptions options;
    options.simulate = true;
    options.scanPresentPorts = false;
    options.catalogueFile = positional[1];
    ProjectorApp projector(options);
    if (!projector.start()) {
        std::cerr << "start-up failed\n";
        return 1;
    }
    MainWindow* window = projector.mainWindow();
    MainPanel* panel = window->panel();
    grab(QStringLiteral("main-empty"), window->frameGeometry());

    // The first model: rows 0 and 2 ticked and written; the key of row 0 is
    // then pressed on the simulated controller, which ticks that row.
    CatalogueTree* tree = panel->tree();
    QTreeWidgetItem* company = tree->rootItem()->child(0);
    company->setExpanded(true);
    tree->setCurrentItem(company->child(0));
    auto* list = qobject_cast<CodeListModel*>(panel->codeList()->model());
    if (list && list->rowCount() > 2) {
        list->toggle(2);
        QEventLoop loop;
        QObject::connect(panel, &MainPanel::busyChanged, &loop, [&loop](bool busy) {
            if (!busy)
                loop.quit();
        });
        panel->findChild<QPushButton*>(QStringLiteral("button1013"))->click();
        settle(600);
        grab(QStringLiteral("main-writing"), window->frameGeometry());
        if (panel->busy())
            loop.exec();
        const auto keyType = projector.selectedModel().rows[0].keyType;
        projector.simulator()->press(static_cast<int>(keyType));
        settle(300);
    }
    grab(QStringLiteral("main"), window->frameGeometry());

    // The virtual controller panel beside it, the written key marked; both
    // windows together show the whole job.
    if (VirtualPanel* vp = projector.virtualPanel()) {
        grab(QStringLiteral("virtual-panel"), vp->frameGeometry());
        grab(QStringLiteral("main-and-panel"), window->frameGeometry().united(vp->frameGeometry()));
    }

    // The receive monitor: the written key pressed a few times (hex), then a
    // line of ASCII text from the controller; then the box's menu.
    panel->openMonitor();
    if (ReceiveMonitor* monitor = panel->monitor()) {
        settle(200);
        if (list && list->rowCount() > 0) {
            const auto keyType = static_cast<int>(projector.selectedModel().rows[0].keyType);
            for (int i = 0; i < 3; ++i) {
                projector.simulator()->press(keyType);
                settle(120);
            }
        }
        monitor->findChild<QCheckBox*>(QStringLiteral("check1063"))->setChecked(true);
        panel->onReceived(link::Bytes{'P', 'W', 'R', ' ', 'O', 'N', '\r'});
        monitor->findChild<QCheckBox*>(QStringLiteral("check1063"))->setChecked(false);
        settle(100);
        grab(QStringLiteral("monitor"), monitor->frameGeometry());
        QMenu* menu = monitor->contextMenu();
        menu->popup(monitor->mapToGlobal(QPoint(monitor->width() / 2, monitor->height() / 2)));
        settle(200);
        if (menu->isVisible()) {
            grab(QStringLiteral("monitor-menu"), monitor->frameGeometry().united(menu->geometry()));
            menu->close(); // closed, not only hidden, or the next popup stays hidden
        }
        monitor->findChild<QPushButton*>(QStringLiteral("button1065"))->click();
        settle(100);
    }

    // The context menu on a model, opened as a right click opens it.
    const QRect itemRect = tree->visualItemRect(company->child(0));
    tree->openContextMenu(itemRect.center());
    QMenu* menu = tree->contextMenu();
    settle(200);
    if (menu->isVisible()) {
        grab(QStringLiteral("main-context-menu"), window->frameGeometry().united(menu->geometry()));
        menu->hide();
    }

    // The catalogue's windows, opened from the context menu as the user opens
    // them; each is shown, taken and closed without saving.
    const auto chooseFromMenu = [tree](QTreeWidgetItem* node, int command) {
        tree->scrollToItem(node);
        if (!tree->prepareContextMenu(tree->visualItemRect(node).center()))
            return;
        if (auto* action =
                tree->contextMenu()->findChild<QAction*>(QStringLiteral("action%1").arg(command)))
            action->trigger();
    };
    ModalSeam::queueHandler([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("edit1024"))->setText(QStringLiteral("新的公司"));
        d.show();
        settle(150);
        grab(QStringLiteral("company-add"), d.frameGeometry());
        d.hide();
        return 0;
    });
    chooseFromMenu(tree->rootItem(), 40010);
    ModalSeam::queueHandler([](QDialog& d) {
        auto& editor = static_cast<ModelEditor&>(d);
        editor.findChild<QLineEdit*>(QStringLiteral("edit1026"))->setText(QStringLiteral("XJ-200"));
        editor.findChild<QCheckBox*>(QStringLiteral("check1051"))->setChecked(true);
        auto& grid = editor.logic().grid();
        for (int i = 0; i < 3; ++i)
            editor.findChild<QPushButton*>(QStringLiteral("button1029"))->click();
        const char* names[] = {"开机", "关机", "VGA"};
        const char* codes[] = {"PWR ON", "PWR OFF", "SOURCE 10"};
        for (int i = 0; i < 3; ++i) {
            grid.setData(grid.index(i, KeyGridModel::NameColumn), QString::fromUtf8(names[i]),
                         Qt::EditRole);
            grid.setData(grid.index(i, KeyGridModel::CodeColumn), QString::fromUtf8(codes[i]),
                         Qt::EditRole);
            grid.setData(grid.index(i, KeyGridModel::SlotColumn), i == 2 ? 3 : i, Qt::EditRole);
        }
        editor.grid()->descriptionBox()->setPlainText(QStringLiteral("RS-232 文本命令"));
        editor.show();
        settle(150);
        Q_EMIT editor.grid()->cellClicked(2, KeyGridModel::CodeColumn); // as a click does
        grab(QStringLiteral("model-add"), editor.frameGeometry());
        // A code that is no text of printable characters: refused, its cell selected.
        grid.setData(grid.index(1, KeyGridModel::CodeColumn), QStringLiteral("电源关"),
                     Qt::EditRole);
        ModalSeam::queueHandler([&editor](QDialog& box) {
            box.show();
            settle(150);
            grab(QStringLiteral("model-refused"),
                 editor.frameGeometry().united(box.frameGeometry()));
            box.hide();
            return 0;
        });
        editor.findChild<QPushButton*>(QStringLiteral("button1030"))->click();
        editor.hide();
        return 0;
    });
    chooseFromMenu(company, 40008);
    ModalSeam::queueHandler([](QDialog& d) {
        d.show();
        settle(150);
        grab(QStringLiteral("model-modify"), d.frameGeometry());
        d.hide();
        return 0;
    });
    chooseFromMenu(company->child(0), 40009);

    // The editor judging codes against the maker's framing rule: one code
    // with a wrong checksum, tinted, its reason and correction under the grid.
    if (QTreeWidgetItem* nec =
            tree->modelItem(QStringLiteral("NEC"), QStringLiteral("P474W/P474U/P554W/P554U"))) {
        ModalSeam::queueHandler([](QDialog& d) {
            auto& editor = static_cast<ModelEditor&>(d);
            auto& grid = editor.logic().grid();
            grid.setData(grid.index(1, KeyGridModel::CodeColumn),
                         QStringLiteral("02 01 00 00 00 04"), Qt::EditRole);
            editor.show();
            settle(150);
            Q_EMIT editor.grid()->cellClicked(1, KeyGridModel::IdColumn); // no row selected
            grab(QStringLiteral("model-check"), editor.frameGeometry());
            editor.hide();
            return 0;
        });
        chooseFromMenu(nec, 40009);
    }

    // "试发" from the code list's context menu, answered by the simulated
    // Epson projector on a pseudo-terminal of its own (POSIX only: the
    // Windows build has no projector simulator).
#ifndef Q_OS_WIN
    if (QTreeWidgetItem* epson = tree->modelItem(
            QStringLiteral("爱普生 Epson"), QStringLiteral("EB系列 双电脑双HDMI (ESC/VP21)"))) {
        sim::ProjectorSimulatorOptions po;
        po.projector.family = sim::ProjectorFamily::Epson;
        po.projector.replyDelay = std::chrono::milliseconds(40);
        sim::ProjectorSimulator projectorSim(po);
        std::string error;
        if (projectorSim.start(error)) {
            const std::string port = projector.shellState().portName;
            projector.shellState().portName = projectorSim.portPath();
            tree->setCurrentItem(epson);
            CodeListView* codes = panel->codeList();
            const QRect row =
                codes->visualRect(codes->model()->index(0, CodeListModel::NameColumn));
            if (codes->prepareContextMenu(row.center())) {
                codes->contextMenu()->popup(codes->viewport()->mapToGlobal(row.center()));
                settle(200);
                grab(QStringLiteral("main-list-menu"),
                     window->frameGeometry().united(codes->contextMenu()->geometry()));
                codes->contextMenu()->hide();
                ModalSeam::queueHandler([](QDialog& d) {
                    auto& dialog = static_cast<TestSendDialog&>(d);
                    dialog.show();
                    if (dialog.running()) {
                        QEventLoop loop;
                        QObject::connect(&dialog, &TestSendDialog::resultShown, &loop,
                                         &QEventLoop::quit);
                        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
                        loop.exec();
                    }
                    grab(QStringLiteral("test-send"), dialog.frameGeometry());
                    dialog.hide();
                    return 0;
                });
                codes->contextMenu()
                    ->findChild<QAction*>(QStringLiteral("actionTestSend"))
                    ->trigger();
            }
            projector.shellState().portName = port;
            projectorSim.stop();
        } else {
            std::cerr << "projector simulator: " << error << '\n';
            ++failures;
        }
    }
#endif

    // The question before a write at a speed the edition only approximates,
    // and the message when the port cannot be opened, shown as the panel shows them.
    auto showAndAnswer = [](const QString& name, int answer) {
        ModalSeam::queueHandler([name, answer](QDialog& d) {
            d.show();
            settle(150);
            grab(name, d.frameGeometry());
            d.hide();
            return answer;
        });
    };
    auto* writeButton = panel->findChild<QPushButton*>(QStringLiteral("button1013"));
    if (auto all = projector.catalogue().loadTree()) {
        for (const auto& m : all->models) {
            auto record = projector.catalogue().loadModel(m.id);
            if (!record || record->baud <= 38400)
                continue;
            for (int c = 0; c < tree->rootItem()->childCount(); ++c) {
                QTreeWidgetItem* co = tree->rootItem()->child(c);
                for (int k = 0; k < co->childCount(); ++k)
                    if (co->child(k)->text(0) == record->name &&
                        projector.catalogue().findCompany(co->text(0)).ok() &&
                        *projector.catalogue().findCompany(co->text(0)) == m.companyId)
                        tree->setCurrentItem(co->child(k));
            }
            showAndAnswer(QStringLiteral("question-speed"), QMessageBox::Cancel);
            writeButton->click();
            break;
        }
    }
    {
        const std::string port = projector.shellState().portName;
        projector.shellState().portName = "/dev/ttyUSB7";
        tree->setCurrentItem(company->child(0));
        QEventLoop loop;
        QObject::connect(panel, &MainPanel::busyChanged, &loop, [&loop](bool busy) {
            if (!busy)
                loop.quit();
        });
        showAndAnswer(QStringLiteral("message-port"), 0);
        writeButton->click();
        if (panel->busy())
            loop.exec();
        projector.shellState().portName = port;
    }

    link::ShellState state;
    {
        DetectionDialog d(
            state, [](const std::function<void(int)>&, std::stop_token) { return ScanOutcome{}; });
        shootDialog(d, QStringLiteral("detection-not-found"));
    }
    {
        // Not found, with the ports that could not even be opened and why.
        DetectionDialog d(state, [](const std::function<void(int)>&, std::stop_token) {
            ScanOutcome out;
            out.unusable = {
                link::openFailureText("/dev/ttyS0", link::PortOpenStatus::PermissionDenied),
                link::openFailureText("/dev/ttyUSB0", link::PortOpenStatus::Busy)};
            return out;
        });
        shootDialog(d, QStringLiteral("detection-unusable-ports"));
    }
    {
        state.editionCode = 21;
        ParameterDialog::Hooks hooks;
        hooks.listPorts = [] {
            return std::vector<link::PortCheck>{{"/dev/ttyUSB0", link::PortOpenStatus::Ok},
                                                {"/dev/ttyS0", link::PortOpenStatus::Ok}};
        };
        ParameterDialog d(state, hooks);
        shoot(d, QStringLiteral("settings"));
        d.toggleNotes();
        settle(100);
        grab(QStringLiteral("settings-notes"), d.frameGeometry());
        d.hide();
    }
    {
        AboutDialog d;
        shootDialog(d, QStringLiteral("about"));
    }
    for (auto t : {MessageDialog::DatabaseMissing, MessageDialog::ConfirmDelete,
                   MessageDialog::ModelNameMissing}) {
        MessageDialog d(t);
        shootDialog(d, QStringLiteral("message%1").arg(static_cast<int>(t)));
    }
    {
        HelpWindow w;
        shootDialog(w, QStringLiteral("help"));
    }
    // The commissioning record's windows over a record of two writes of the
    // model shown above, one of them confirmed by its echo.
    {
        QTemporaryDir recordDir;
        record::Recorder recorder;
        const QString companyName = company->text(0);
        const QString modelName = company->child(0)->text(0);
        if (recordDir.isValid() && recorder.open(recordDir.filePath(QStringLiteral("record.db"))) ==
                                       record::OpenStatus::Opened) {
            const auto& rows = projector.selectedModel().rows;
            for (const char* room : {"三楼 301", "三楼 302"}) {
                record::WriteStart start;
                start.room = QString::fromUtf8(room);
                start.program = QStringLiteral("PROJECTOR");
                start.controller = record::controllerOf(projector.shellState());
                start.company = companyName;
                start.model = modelName;
                start.projectorBaud = projector.selectedModel().selectedBaud;
                const qint64 id = recorder.beginWrite(start);
                for (std::size_t i = 0; i < rows.size() && i < 3; ++i) {
                    record::KeyEntry k;
                    k.row = static_cast<int>(i);
                    k.slot = static_cast<int>(rows[i].keyType);
                    k.name = QString::fromStdString(rows[i].name);
                    k.code = record::codeOf(rows[i]);
                    recorder.addKey(id, k);
                }
                recorder.confirmKey(id, 0, rows.empty() ? QString() : record::codeOf(rows[0]),
                                    rows.empty() ? QString() : record::codeOf(rows[0]));
                recorder.finishWrite(id, record::WriteOutcome::Completed, {});
            }
            RoomNameDialog room(QStringLiteral("三楼 303"), recorder.roomNames());
            shootDialog(room, QStringLiteral("record-room"));
            record::WriteFilter filter;
            filter.company = companyName;
            filter.model = modelName;
            RecordDialog records(
                companyName, modelName,
                recorder.writes(filter).value_or(std::vector<record::WriteEntry>{}), {});
            shootDialog(records, QStringLiteral("record-list"));
            ReportDialog report(recorder);
            shootDialog(report, QStringLiteral("record-report"));
        }
    }
    window->close();
    return failures == 0 ? 0 : 1;
}
