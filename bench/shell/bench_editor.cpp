// The modify dialog (133) of a model with 200 keys on the SQLite catalogue:
// the time from the menu command to the shown and painted dialog (model read
// from the catalogue, dialog and grid built, shown), and the time of "确定"
// (every value checked, the model and its 200 keys replaced in one
// transaction with its sync). The same again with the makers' framing rules
// judging every code (the model filed under NEC, whose rule every one of its
// codes breaks, so each is flagged with a correction and the save asks once),
// and the time to judge one code as it is typed. Prints figures; asserts
// nothing.
//
//   bench_shell_editor [RUNS] [KEYS]   (default 20 runs, 200 keys; offscreen
//                                       unless QT_QPA_PLATFORM says otherwise)

#include "codecheck/load.h"
#include "shell/cataloguebrowser.h"
#include "shell/cataloguedbreader.h"
#include "shell/dialogs/modal.h"
#include "shell/editor/catalogueediting.h"
#include "shell/editor/modeleditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pj;
using namespace pj::shell;

namespace {

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.median = v[v.size() / 2];
    s.max = v.back();
    return s;
}

void print(const char* what, const Stats& s, const char* target) {
    std::printf("  %-34s min %7.2f  median %7.2f  max %7.2f ms  %s\n", what, s.min, s.median, s.max,
                target);
}

struct Series {
    std::vector<double> open, read, save;
};

// `runs` + 1 openings and saves of the modify dialog; false when one failed.
bool runSeries(CatalogueEditing& editing, const QString& company, const QString& model,
               int keyCount, int runs, const EditorServices& services, Series& out) {
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer t;
        t.start();
        auto record = editing.loadModel(company, model);
        if (!record || record->keys.size() != static_cast<std::size_t>(keyCount)) {
            std::fprintf(stderr, "the model did not load\n");
            return false;
        }
        out.read.push_back(ms(t));
        ModelEditor dialog(editing, company, *record, nullptr, services);
        dialog.show();
        QApplication::processEvents(); // shown and painted
        out.open.push_back(ms(t));

        // With flagged codes "确定" asks once; the answer is "保存".
        if (!dialog.logic().grid().flaggedRows().isEmpty())
            ModalSeam::queueAnswer(QMessageBox::Save);
        t.restart();
        dialog.findChild<QPushButton*>(QStringLiteral("button1034"))->click();
        out.save.push_back(ms(t));
        if (dialog.isVisible() || dialog.result() != 1) {
            std::fprintf(stderr, "the save was refused\n");
            return false;
        }
        QApplication::processEvents();
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int keyCount = argc > 2 ? std::max(1, atoi(argv[2])) : 200;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("projector.mdb"));
    catalogue::CatalogueDb db;
    if (!catalogue::CatalogueDb::init({file, {}}) || !db.connectFile(file)) {
        std::fprintf(stderr, "cannot create the catalogue\n");
        return 1;
    }
    const QString company = QStringLiteral("基准公司");
    const QString model = QStringLiteral("KEYS-%1").arg(keyCount);
    catalogue::ModelInput input;
    input.name = model;
    input.baud = 19200;
    input.parity = 2;
    input.description = QStringLiteral("基准型号：每个键一条十字节的功能码。");
    for (int i = 0; i < keyCount; ++i) {
        QString code;
        for (int b = 0; b < 10; ++b)
            code += QStringLiteral("%1 ").arg((i * 7 + b) % 256, 2, 16, QLatin1Char('0'));
        input.keys.push_back({QStringLiteral("键%1").arg(i + 1), i % 18, code.trimmed()});
    }
    // The same model under a maker whose rule its codes break.
    const QString checkedCompany = QStringLiteral("NEC");
    auto companyId = db.addCompany(company);
    auto checkedId = db.addCompany(checkedCompany);
    if (!companyId || !checkedId || !db.addModel(*companyId, input) ||
        !db.addModel(*checkedId, input)) {
        std::fprintf(stderr, "cannot fill the catalogue\n");
        return 1;
    }
    auto rules = codecheck::loadRules();
    if (!rules.ok()) {
        std::fprintf(stderr, "the delivered rules do not load\n");
        return 1;
    }
    EditorServices checking;
    checking.checker = std::make_shared<const codecheck::Checker>(rules.rules);

    CatalogueDbReader reader(db);
    link::SelectedModel selected;
    CatalogueBrowser browser(reader, selected);
    browser.build();
    CatalogueEditing editing(db, browser);

    // Run 0 is the first window of the process: it loads the fonts, the style
    // and the artwork, which the program has done for its main window before
    // any editor opens. It is reported apart.
    Series plain, checked;
    if (!runSeries(editing, company, model, keyCount, runs, {}, plain) ||
        !runSeries(editing, checkedCompany, model, keyCount, runs, checking, checked))
        return 1;
    std::printf("Modify dialog (133) of a model with %d keys, SQLite catalogue\n", keyCount);
    std::printf("  first window of the process (fonts, style, artwork loaded): open %.2f ms, "
                "save %.2f ms\n",
                plain.open.front(), plain.save.front());
    for (Series* series : {&plain, &checked}) {
        series->open.erase(series->open.begin());
        series->read.erase(series->read.begin());
        series->save.erase(series->save.begin());
    }
    std::printf("then %d runs:\n", runs);
    print("open: read, build, show, paint", stats(plain.open), "(target <= 100 ms)");
    print("  of which reading the model", stats(plain.read), "");
    print("save: check and one transaction", stats(plain.save), "(target <= 50 ms)");
    std::printf("with the framing rules, every code flagged (NEC), %d runs:\n", runs);
    print("open: read, judge, build, show", stats(checked.open), "(target <= 100 ms)");
    print("save: checks, question, transaction", stats(checked.save), "(target <= 50 ms)");

    // One code judged as it is typed: what every key in the cell editor costs.
    ModelEditorLogic logic;
    logic.name = model;
    logic.setChecker(checking.checker, checkedCompany);
    const QString typed = QStringLiteral("02 00 00 00 00 03");
    constexpr int kJudged = 20000;
    QElapsedTimer t;
    t.start();
    int flagged = 0;
    for (int i = 0; i < kJudged; ++i)
        flagged += logic.checkCode(typed)->ok() ? 0 : 1;
    std::printf("  one code judged as typed (%d times): %.2f us each%s\n", kJudged,
                ms(t) * 1000.0 / kJudged, flagged == kJudged ? "" : " (not flagged?)");
    return 0;
}
