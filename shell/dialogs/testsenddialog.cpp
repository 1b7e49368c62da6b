#include "shell/dialogs/testsenddialog.h"

#include "link/codetext.h"
#include "skin/fonts.h"
#include "skin/units.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace pj::shell {

namespace {

QString parityText(int parity) {
    switch (parity) {
    case 1:
        return QStringLiteral("奇校验");
    case 2:
        return QStringLiteral("偶校验");
    default:
        return QStringLiteral("无校验");
    }
}

QString hexText(const link::Bytes& bytes) {
    return QString::fromStdString(link::bytesToCodeText(bytes));
}

// Whether the code went out on the line.
bool wentOut(link::TestSendOutcome outcome) {
    using O = link::TestSendOutcome;
    return outcome == O::Answered || outcome == O::NoAnswer || outcome == O::Stopped;
}

} // namespace

TestSendDialog::TestSendDialog(const QString& port, const CodeTrial& trial, QWidget* parent)
    : SkinnedDialog(QStringLiteral("试发"), QSize(kWidthDlu, kHeightDlu), parent)
    , port_(port)
    , trial_(trial) {
    setObjectName(QStringLiteral("testSend"));

    const auto label = [this](const char* name, const QRect& r) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(r);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    sent_ = label("labelSent", skin::dlu(10, 20, 240, 24));
    heading_ = label("labelAnswer", skin::dlu(10, 46, 240, 12));
    answer_ = new QPlainTextEdit(this);
    answer_->setObjectName(QStringLiteral("editAnswer"));
    answer_->setReadOnly(true);
    answer_->setFont(skin::skinFont(QStringLiteral("宋体"), 12, 6));
    answer_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    answer_->setGeometry(skin::dlu(10, 60, 240, 46));
    note_ = label("labelNote", skin::dlu(10, 110, 180, 14));
    close_ = new QPushButton(QStringLiteral("停止"), this);
    close_->setObjectName(QStringLiteral("buttonClose"));
    close_->setGeometry(skin::dlu(200, 110, 50, 15));
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, [this] {
        if (!running_) {
            done(0);
            return;
        }
        // "停止": the send ends at its next look at the port and what came
        // so far is shown.
        close_->setEnabled(false);
        Q_EMIT stopRequested();
    });

    const QString key = trial_.keyName.trimmed().isEmpty()
                            ? QString()
                            : QStringLiteral("「%1」").arg(trial_.keyName);
    sent_->setText(
        QStringLiteral("正在发送%1到 %2（%3）: %4")
            .arg(key, port_, lineText(trial_.baud, trial_.parity), hexText(trial_.code)));
    heading_->setText(QStringLiteral("正在等待应答…"));
}

QString TestSendDialog::lineText(std::uint32_t baud, int parity) {
    return QStringLiteral("%1 波特，%2").arg(baud).arg(parityText(parity));
}

QString TestSendDialog::answerText(const link::TestSendResult& result) {
    const link::Bytes all = result.answer();
    QStringList lines;
    lines << QStringLiteral("十六进制: ") + hexText(all)
          << QStringLiteral("文本: ") + QString::fromStdString(link::answerText(all));
    if (result.blocks.size() > 1)
        for (const auto& b : result.blocks)
            lines << QStringLiteral("%1 毫秒: %2").arg(b.at.count()).arg(hexText(b.bytes));
    return lines.join(QLatin1Char('\n'));
}

void TestSendDialog::showResult(const link::TestSendResult& result, const QString& note) {
    running_ = false;
    const QString key = trial_.keyName.trimmed().isEmpty()
                            ? QString()
                            : QStringLiteral("「%1」").arg(trial_.keyName);
    sent_->setText(
        QStringLiteral("%1%2到 %3（%4）: %5")
            .arg(wentOut(result.outcome) ? QStringLiteral("已发送") : QStringLiteral("未能发送"),
                 key, port_, lineText(trial_.baud, trial_.parity), hexText(trial_.code)));
    if (!result.blocks.empty()) {
        heading_->setText(
            QStringLiteral("应答（首字节在发送后 %1 毫秒）:").arg(result.firstByte()->count()));
        answer_->setPlainText(answerText(result));
    } else {
        answer_->clear();
    }
    // Every outcome but an answer has its own plain text; a stop or a lost
    // device after some bytes shows both.
    if (!result.message.empty()) {
        const QString message = QString::fromStdString(result.message);
        if (result.blocks.empty())
            heading_->setText(message);
        else
            answer_->appendPlainText(message);
    }
    note_->setText(note);
    close_->setText(QStringLiteral("关闭"));
    close_->setEnabled(true);
    Q_EMIT resultShown();
    if (closeWhenDone_)
        done(0);
}

void TestSendDialog::reject() {
    if (running_) {
        // Closed while sending: the send ends at its next look at the port and
        // the dialog goes with it.
        closeWhenDone_ = true;
        close_->setEnabled(false);
        Q_EMIT stopRequested();
        return;
    }
    SkinnedDialog::reject();
}

} // namespace pj::shell
