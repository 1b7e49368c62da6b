#include "shell/dialogs/modal.h"

#include "skin/palette.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include <deque>

namespace pj::shell {

namespace {
// The seam's queue belongs to the tests that fill it; the program never does.
struct SeamState {
    std::deque<ModalSeam::Handler> queue;
    QStringList seen;
};

SeamState& seam() {
    static SeamState s;
    return s;
}
} // namespace

void ModalSeam::queueHandler(Handler h) {
    seam().queue.push_back(std::move(h));
}

void ModalSeam::queueAnswer(int result) {
    queueHandler([result](QDialog&) { return result; });
}

bool ModalSeam::pending() {
    return !seam().queue.empty();
}

QStringList ModalSeam::seen() {
    return seam().seen;
}

void ModalSeam::reset() {
    seam().queue.clear();
    seam().seen.clear();
}

bool ModalSeam::take(Handler& out) {
    if (seam().queue.empty())
        return false;
    out = std::move(seam().queue.front());
    seam().queue.pop_front();
    return true;
}

void ModalSeam::record(const QString& what) {
    seam().seen.append(what);
}

int runModal(QDialog& dialog) {
    ModalSeam::Handler h;
    if (ModalSeam::take(h)) {
        ModalSeam::record(dialog.objectName());
        return h(dialog);
    }
    return dialog.exec();
}

void showMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    ModalSeam::Handler h;
    if (ModalSeam::take(h)) {
        ModalSeam::record(text);
        h(box);
        return;
    }
    box.exec();
}

bool askQuestion(QWidget* parent, const QString& text, const QString& yes, const QString& no,
                 const QString& name) {
    QMessageBox box(QMessageBox::Question, QString(), text, QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.setObjectName(name);
    box.button(QMessageBox::Yes)->setText(yes);
    box.button(QMessageBox::Cancel)->setText(no);
    box.setDefaultButton(QMessageBox::Cancel);
    ModalSeam::record(text);
    return runModal(box) == QMessageBox::Yes;
}

} // namespace pj::shell
