#pragma once
// How the program runs its modal dialogs and message boxes, with a seam for
// tests: while handlers are queued, the next modal run is handed to the first
// of them instead of blocking in the dialog's own loop. The handler gets the
// ready dialog (not shown) and returns the result; it may click its buttons.
//
// Object names of controls in the program's dialogs: a control that has a
// numeric identifier in the dialog tables is named after its kind and number
// ("button1080", "progress1075", "combo1037", "label1078", "picture1088");
// controls without a number have descriptive names ("groupSettings",
// "labelPort", "lineTop"). The caption strip's are "caption", "button104",
// "button118" and "icon117".

#include <functional>

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace pj::shell {

class ModalSeam {
public:
    using Handler = std::function<int(QDialog& dialog)>;

    static void queueHandler(Handler h);
    static void queueAnswer(int result); // a handler that returns `result`
    static bool pending();
    // objectName of each dialog that went through the seam, and the text of
    // each message box, in order.
    static QStringList seen();
    static void reset(); // drops the queue and the record

    // Used by runModal and showMessage.
    static bool take(Handler& out);
    static void record(const QString& what);
};

// exec() of `dialog`, or the next queued handler.
int runModal(QDialog& dialog);

// A message box without a title with one "确定" button: how failures are shown.
void showMessage(QWidget* parent, const QString& text);

// A question without a title with two buttons (`yes` first, `no` the default);
// true for `yes`. `name` is the box's object name.
bool askQuestion(QWidget* parent, const QString& text, const QString& yes, const QString& no,
                 const QString& name = QStringLiteral("question"));

} // namespace pj::shell
