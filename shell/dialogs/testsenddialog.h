#pragma once
// The test send's window ("试发"): one code goes straight to the projector at
// the model's speed and parity, and what comes back within the wait is shown
// in hex and as text, with the time of the first byte. A port that cannot be
// opened or a projector that does not answer is said plainly.
//
// The dialog only shows: whoever opens it runs the test send (on a worker)
// and hands it the result. "停止" while the send runs asks for a stop and
// shows what came so far; closing the dialog while it runs asks for a stop and
// closes as soon as the result is in. After the result the button reads "关闭".
//
// Object names: the dialog "testSend"; "labelSent" (what went where),
// "labelAnswer" (the answer's heading or what went wrong), "editAnswer" (hex,
// text and the blocks with their times), "labelNote" (the channel could not
// listen again), "buttonClose".

#include "link/serialchannel.h"
#include "link/testsend.h"
#include "skin/skinneddialog.h"

#include <QString>

#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace pj::shell {

// A code to try on the projector: what the editor's or the code list's
// "试发" sends.
struct CodeTrial {
    QString keyName; // the key's name, shown in the dialog
    link::Bytes code;
    std::uint32_t baud = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even
};

class TestSendDialog : public skin::SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDlu = 260;
    static constexpr int kHeightDlu = 132;

    TestSendDialog(const QString& port, const CodeTrial& trial, QWidget* parent = nullptr);

    bool running() const { return running_; }
    // The send has ended. `note`: anything else the user must know (the
    // channel could not listen for echoes again).
    void showResult(const link::TestSendResult& result, const QString& note = {});

    // "9600 波特，无校验"
    static QString lineText(std::uint32_t baud, int parity);
    // The answer as the box shows it: "十六进制: …", "文本: …" and, when it came
    // in several parts, each part with its time.
    static QString answerText(const link::TestSendResult& result);

Q_SIGNALS:
    void stopRequested();
    void resultShown();

public Q_SLOTS:
    void reject() override;

private:
    QString port_;
    CodeTrial trial_;
    bool running_ = true;
    bool closeWhenDone_ = false;
    QLabel* sent_ = nullptr;
    QLabel* heading_ = nullptr;
    QPlainTextEdit* answer_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* close_ = nullptr;
};

} // namespace pj::shell
