// The receive monitor's text without a window: the hex and ASCII forms of a
// block, time stamps and port notes on lines of their own, the bounded
// scrollback (the box, changed step by step, always equals the whole text),
// what is saved, and the speed and parity the lists stand for.

#include "shell/monitorlog.h"

#include <QRegularExpression>
#include <QTest>

#include <vector>

using namespace pj;
using namespace pj::shell;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Stands in for the box: applies each change as the window does.
struct Box {
    QString text;
    void apply(const MonitorLog::Change& c) {
        text.remove(0, c.removeFront);
        text += c.append;
    }
};

const QTime kNoon(12, 0, 1, 2);

} // namespace

class TestMonitorLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void blocks_hexAndAsciiFollowEachOtherAsTheyCame() {
        MonitorLog log;
        Box box;
        box.apply(log.addBlock(Bytes{0x41, 0x42, 0x0D}, false, kNoon));
        QCOMPARE(box.text, QStringLiteral("41 42 0d "));
        box.apply(log.addBlock(Bytes{0x41, 0x42, 0x0D}, true, kNoon));
        box.apply(log.addBlock(Bytes{0x05, 0xFF}, false, kNoon));
        box.apply(log.addBlock(Bytes{0x00, 0x43}, true, kNoon));
        QCOMPARE(box.text, QStringLiteral("41 42 0d AB\r 05 ff C "));
        QCOMPARE(log.text(), box.text);
        QCOMPARE(log.length(), box.text.size());
        // Bytes beyond ASCII are one character each.
        box.apply(log.addBlock(Bytes{0xB0, 0xA1}, true, kNoon));
        QCOMPARE(box.text.right(3), QStringLiteral("\u00B0\u00A1 "));
        QCOMPARE(log.receivedBytes(), std::uint64_t{12});
    }

    void notesAndTimeStamps_standOnLinesOfTheirOwn() {
        MonitorLog log;
        Box box;
        box.apply(log.addBlock(Bytes{0x01}, false, kNoon));
        box.apply(log.addNote(QStringLiteral("串口 /dev/ttyUSB0 已断开"), kNoon));
        box.apply(log.addNote(QStringLiteral("串口 /dev/ttyUSB0 已重新连接"), kNoon.addMSecs(998)));
        box.apply(log.addBlock(Bytes{0x02}, false, kNoon.addSecs(2)));
        box.apply(log.addBlock(Bytes{0x03}, false, kNoon.addSecs(2)));
        QCOMPARE(box.text, QStringLiteral("01 \n串口 /dev/ttyUSB0 已断开\n"
                                          "串口 /dev/ttyUSB0 已重新连接\n02 03 "));
        QCOMPARE(log.text(), box.text);

        log.setShowTime(true);
        box.text = log.text();
        QCOMPARE(box.text, QStringLiteral("12:00:01.002 01 \n"
                                          "12:00:01.002 串口 /dev/ttyUSB0 已断开\n"
                                          "12:00:02.000 串口 /dev/ttyUSB0 已重新连接\n"
                                          "12:00:03.002 02 \n"
                                          "12:00:03.002 03 "));
        box.apply(log.addBlock(Bytes{0x04}, false, QTime(23, 59, 59, 999)));
        QCOMPARE(box.text.right(17), QStringLiteral("\n23:59:59.999 04 "));
        QCOMPARE(log.text(), box.text);

        log.setShowTime(false);
        QCOMPARE(log.text(), QStringLiteral("01 \n串口 /dev/ttyUSB0 已断开\n"
                                            "串口 /dev/ttyUSB0 已重新连接\n02 03 04 "));
    }

    void scrollback_keepsAtLeastTheBoundAndCutsTheOldestFirst() {
        MonitorLog log; // the window's bound
        Box box;
        Bytes block(200);
        std::size_t cuts = 0;
        for (int i = 0; i < 1000; ++i) { // 600 kB of text
            std::fill(block.begin(), block.end(), static_cast<std::uint8_t>(i));
            const auto change = log.addBlock(block, false, kNoon);
            cuts += change.removeFront > 0;
            box.apply(change);
            QVERIFY(box.text.size() <= MonitorLog::kKeepChars + MonitorLog::kSlackChars);
            if (i * 600 >= MonitorLog::kKeepChars)
                QVERIFY(box.text.size() >= MonitorLog::kKeepChars);
        }
        QCOMPARE(log.text(), box.text);
        QVERIFY(box.text.endsWith(QStringLiteral("e7 e7 "))); // block 999 (0x3e7)
        // Whole blocks go: the box starts where a block starts.
        QCOMPARE(box.text.size() % 600, 0);
        QVERIFY(box.text.startsWith(box.text.mid(0, 3).repeated(200)));
        // Cut now and then, not at every block.
        QVERIFY(cuts > 0 && cuts < 50);
        QCOMPARE(log.receivedBytes(), std::uint64_t{200000});
    }

    void scrollback_staysInStepWhenTheStampsAreSwitchedOnTheWay() {
        MonitorLog log(1000, 200);
        Box box;
        for (int i = 0; i < 800; ++i) {
            if (i == 100 || i == 200) {
                log.setShowTime(i == 100);
                box.text = log.text();
            }
            if (i % 37 == 0)
                box.apply(log.addNote(QStringLiteral("串口 COM3 已断开"), kNoon));
            box.apply(log.addBlock(Bytes{0x30, static_cast<std::uint8_t>(i)}, i % 2 == 0, kNoon));
            QCOMPARE(box.text, log.text());
            QCOMPARE(log.length(), box.text.size());
            QVERIFY(box.text.size() <= 1200 + 40);
        }
        QVERIFY(box.text.size() >= 1000);
    }

    void wrapColumn_breaksLongTextIntoLinesWhereTheBoxWouldWrap() {
        MonitorLog log;
        log.setWrapColumns(12, 12); // four pairs
        Box box;
        box.apply(log.addBlock(Bytes{1, 2, 3}, false, kNoon));
        box.apply(log.addBlock(Bytes{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, false, kNoon));
        QCOMPARE(box.text, QStringLiteral("01 02 03 04 \n05 06 07 08 \n09 0a 0b 0c \n0d "));
        // ASCII: at most 12 characters a line; its own line ends start a new count.
        box.apply(log.addBlock(Bytes(14, 0x41), true, kNoon));
        QCOMPARE(box.text.section(QLatin1Char('\n'), 3), QStringLiteral("0d AAAAAAAAA\nAAAAA "));
        box.apply(log.addBlock(Bytes{0x42, 0x0D, 0x43}, true, kNoon));
        QVERIFY(box.text.endsWith(QStringLiteral("AAAAA B\rC ")));
        QCOMPARE(box.text, log.text());
        for (const QString& line : box.text.split(QRegularExpression(QStringLiteral("[\r\n]"))))
            QVERIFY2(line.size() <= 12, qPrintable(line));

        // A note breaks the line; the stamps lay every entry out again, unbroken.
        box.apply(log.addNote(QStringLiteral("串口 COM3 已断开"), kNoon));
        box.apply(log.addBlock(Bytes(6, 0xEE), false, kNoon));
        QVERIFY(box.text.endsWith(QStringLiteral("已断开\nee ee ee ee \nee ee ")));
        log.setShowTime(true);
        QCOMPARE(log.text().split(QLatin1Char('\n')).last(),
                 QStringLiteral("12:00:01.002 ee ee ee ee ee ee "));
        log.setShowTime(false);
        QCOMPARE(log.text(), box.text);
        // Nothing saved is broken.
        QVERIFY(log.savedText().contains(QStringLiteral(" 04 05 06 07 08 09 0a 0b 0c 0d \n")));
        log.setWrapColumns(0, 0);
        QVERIFY(log.text().startsWith(QStringLiteral("01 02 03 04 05 06 07 08 09 0a 0b 0c 0d ")));
    }

    void scrollback_withAWrapColumnCutsWholeBlocksAndStaysInStep() {
        MonitorLog log(6000, 1200);
        log.setWrapColumns(48, 40);
        Box box;
        Bytes block(200);
        for (int i = 0; i < 300; ++i) {
            std::fill(block.begin(), block.end(), static_cast<std::uint8_t>(i));
            box.apply(log.addBlock(block, false, kNoon));
            QCOMPARE(log.length(), box.text.size());
        }
        QCOMPARE(box.text, log.text());
        QVERIFY(box.text.size() >= 6000 && box.text.size() <= 7200 + 700);
        QVERIFY(!box.text.startsWith(QLatin1Char('\n')));
        for (const QString& line : box.text.split(QLatin1Char('\n')))
            QVERIFY(line.size() <= 48);
    }

    void clear_emptiesTheBoxButKeepsCountingBytes() {
        MonitorLog log;
        log.addBlock(Bytes{1, 2, 3}, false, kNoon);
        log.clear();
        QVERIFY(log.text().isEmpty());
        QCOMPARE(log.length(), 0);
        QCOMPARE(log.entryCount(), std::size_t{0});
        Box box;
        box.apply(log.addBlock(Bytes{4}, false, kNoon));
        QCOMPARE(box.text, QStringLiteral("04 "));
        QCOMPARE(log.receivedBytes(), std::uint64_t{4});
    }

    void savedText_hasEveryEntryOnItsOwnStampedLine() {
        MonitorLog log;
        QVERIFY(log.savedText().isEmpty());
        log.addBlock(Bytes{0x41, 0x0D}, false, kNoon);
        log.addBlock(Bytes{0x41, 0x42}, true, kNoon.addMSecs(40));
        log.addNote(QStringLiteral("串口 COM3 已断开"), kNoon.addMSecs(50));
        QCOMPARE(log.savedText(), QStringLiteral("12:00:01.002 41 0d \n"
                                                 "12:00:01.042 AB \n"
                                                 "12:00:01.052 串口 COM3 已断开\n"));
        QVERIFY(!log.showTime()); // saving does not change what the box shows
        QCOMPARE(log.text(), QStringLiteral("41 0d AB \n串口 COM3 已断开\n"));
    }

    void settings_speedMustBeAPositiveWholeNumber() {
        const auto s = MonitorSettings::choose(QStringLiteral("9600"), 1);
        QVERIFY(s);
        QCOMPARE(s->baud, 9600u);
        QCOMPARE(s->parityCode, 1);
        QCOMPARE(s->dataBits, 8);
        QCOMPARE(s->stopCode, 1);
        QCOMPARE(MonitorSettings::choose(QStringLiteral(" 14400 "), 2)->baud, 14400u);
        QCOMPARE(MonitorSettings::choose(QStringLiteral("1200"), -1)->parityCode, 0);
        for (const char* bad : {"", "abc", "0", "-9600", "96 00", "1.5", "9600x", "99999999999"})
            QVERIFY2(!MonitorSettings::choose(QString::fromLatin1(bad), 0), bad);
        QCOMPARE(MonitorSettings::speedItems().size(), 10);
        QCOMPARE(MonitorSettings::speedItems().first(), QStringLiteral("300"));
        QCOMPARE(MonitorSettings::speedItems().last(), QStringLiteral("115200"));
        QCOMPARE(MonitorSettings::parityItems(),
                 (QStringList{QStringLiteral("无校验"), QStringLiteral("奇校验"),
                              QStringLiteral("偶校验")}));
    }
};

QTEST_GUILESS_MAIN(TestMonitorLog)
#include "test_monitorlog.moc"
