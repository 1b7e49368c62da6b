// The test-send window on its own: what it says while the code goes out, an
// answer in several parts with their times, the plain texts of failures, and
// stopping: "停止" keeps the window for what came so far, closing it while
// the send runs waits for the result before it goes.

#include "shell/dialogs/testsenddialog.h"
#include "skin/units.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace pj;
using namespace pj::shell;

namespace {

template <class T> T* child(QWidget& root, const char* name) {
    T* w = root.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("no widget %s", name);
    return w;
}

QString text(QWidget& root, const char* name) {
    return child<QLabel>(root, name)->text();
}

const CodeTrial kTrial{QStringLiteral("开机"), {0x50, 0x57, 0x52, 0x0d}, 19200, 1};

link::TestSendResult answered(std::vector<link::ReceivedBlock> blocks) {
    link::TestSendResult r;
    r.outcome = link::TestSendOutcome::Answered;
    r.blocks = std::move(blocks);
    return r;
}

} // namespace

class TestTestSendDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void whileSending_saysWhatGoesWhere_andOffersStop() {
        TestSendDialog d(QStringLiteral("/dev/ttyUSB0"), kTrial);
        QCOMPARE(d.objectName(), QStringLiteral("testSend"));
        QCOMPARE(d.windowTitle(), QStringLiteral("试发"));
        QCOMPARE(d.size(), skin::dluSize(TestSendDialog::kWidthDlu, TestSendDialog::kHeightDlu));
        QVERIFY(d.running());
        QCOMPARE(
            text(d, "labelSent"),
            QStringLiteral("正在发送「开机」到 /dev/ttyUSB0（19200 波特，奇校验）: 50 57 52 0d"));
        QCOMPARE(text(d, "labelAnswer"), QStringLiteral("正在等待应答…"));
        QCOMPARE(child<QPushButton>(d, "buttonClose")->text(), QStringLiteral("停止"));
    }

    void answerInTwoParts_showsHexTextAndEachPartsTime() {
        TestSendDialog d(QStringLiteral("COM3"), kTrial);
        QSignalSpy shown(&d, &TestSendDialog::resultShown);
        d.showResult(answered({{link::Millis{52}, {0x50, 0x57, 0x52, 0x3d, 0x30}},
                               {link::Millis{75}, {0x31, 0x0d, 0x3a}}}));
        QCOMPARE(shown.size(), 1);
        QVERIFY(!d.running());
        QCOMPARE(text(d, "labelSent"),
                 QStringLiteral("已发送「开机」到 COM3（19200 波特，奇校验）: 50 57 52 0d"));
        QCOMPARE(text(d, "labelAnswer"), QStringLiteral("应答（首字节在发送后 52 毫秒）:"));
        QCOMPARE(child<QPlainTextEdit>(d, "editAnswer")->toPlainText(),
                 QStringLiteral("十六进制: 50 57 52 3d 30 31 0d 3a\n文本: PWR=01\\r:\n"
                                "52 毫秒: 50 57 52 3d 30\n75 毫秒: 31 0d 3a"));
        QCOMPARE(child<QPushButton>(d, "buttonClose")->text(), QStringLiteral("关闭"));
        QVERIFY(text(d, "labelNote").isEmpty());
    }

    void failures_areSaidPlainly() {
        {
            TestSendDialog d(QStringLiteral("COM9"), kTrial);
            link::TestSendResult r;
            r.outcome = link::TestSendOutcome::PortUnavailable;
            r.message = "无法打开串口 COM9";
            d.showResult(r);
            QCOMPARE(text(d, "labelAnswer"), QStringLiteral("无法打开串口 COM9"));
            QVERIFY(text(d, "labelSent").startsWith(QStringLiteral("未能发送「开机」到 COM9")));
            QVERIFY(child<QPlainTextEdit>(d, "editAnswer")->toPlainText().isEmpty());
        }
        {
            TestSendDialog d(QStringLiteral("COM3"), {QString(), {0x01}, 9600, 0});
            link::TestSendResult r;
            r.outcome = link::TestSendOutcome::NoAnswer;
            r.message = "投影机在 1000 毫秒内没有应答";
            d.showResult(r, QStringLiteral("未能重新打开串口 COM1 接收回码"));
            QCOMPARE(text(d, "labelSent"),
                     QStringLiteral("已发送到 COM3（9600 波特，无校验）: 01"));
            QCOMPARE(text(d, "labelAnswer"), QStringLiteral("投影机在 1000 毫秒内没有应答"));
            QCOMPARE(text(d, "labelNote"), QStringLiteral("未能重新打开串口 COM1 接收回码"));
        }
    }

    void stop_keepsTheWindowForWhatCameSoFar() {
        TestSendDialog d(QStringLiteral("COM3"), kTrial);
        d.show();
        QSignalSpy stop(&d, &TestSendDialog::stopRequested);
        auto* button = child<QPushButton>(d, "buttonClose");
        button->click();
        QCOMPARE(stop.size(), 1);
        QVERIFY(!button->isEnabled());
        QVERIFY(d.isVisible());
        link::TestSendResult r = answered({{link::Millis{30}, {0x3a}}});
        r.outcome = link::TestSendOutcome::Stopped;
        r.message = "试发已停止";
        d.showResult(r);
        QVERIFY(d.isVisible());
        QCOMPARE(text(d, "labelAnswer"), QStringLiteral("应答（首字节在发送后 30 毫秒）:"));
        QVERIFY(child<QPlainTextEdit>(d, "editAnswer")
                    ->toPlainText()
                    .endsWith(QStringLiteral("\n试发已停止")));
        QVERIFY(button->isEnabled());
        button->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), 0);
    }

    void closingWhileSending_stopsAndClosesWhenTheResultIsIn() {
        TestSendDialog d(QStringLiteral("COM3"), kTrial);
        d.show();
        QSignalSpy stop(&d, &TestSendDialog::stopRequested);
        d.close();
        QCOMPARE(stop.size(), 1);
        QVERIFY(d.isVisible());
        link::TestSendResult r;
        r.outcome = link::TestSendOutcome::Stopped;
        r.message = "试发已停止";
        d.showResult(r);
        QVERIFY(!d.isVisible());
    }
};

QTEST_MAIN(TestTestSendDialog)
#include "test_testsend_dialog.moc"
