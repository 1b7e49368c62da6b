// The room report: what a page holds for a room (the last write of each key,
// the echoes, the parameters, the card, the writes still to redo), the HTML
// and CSV made of it, and a PDF with a page per room after the summary.

#include "record/reportfile.h"
#include "record/roomreport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace pj::record;

namespace {

QDateTime at(int minute, int second = 0) {
    return QDateTime(QDate(2026, 12, 7), QTime(9, minute, second), Qt::UTC);
}

ControllerInfo controllerOn(const char* port) {
    ControllerInfo c;
    c.port = QString::fromLatin1(port);
    c.edition = 2009;
    c.controllerBaud = 19200;
    c.machineType = 0;
    return c;
}

KeyEntry key(int slot, const char* name, const char* code, KeyOutcome o, int minute) {
    KeyEntry k;
    k.row = slot;
    k.slot = slot;
    k.name = QString::fromUtf8(name);
    k.code = QString::fromLatin1(code);
    k.outcome = o;
    k.at = at(minute);
    if (o == KeyOutcome::Confirmed) {
        k.echoAt = at(minute, 30);
        k.echoBytes = k.code;
    }
    if (o == KeyOutcome::Refused)
        k.reason = QStringLiteral("功能码过长（最多61字节）");
    return k;
}

WriteEntry write(WriteKind kind, const char* room, const char* port, int minute,
                 WriteOutcome outcome = WriteOutcome::Completed) {
    WriteEntry w;
    static qint64 next = 1;
    w.id = next++;
    w.start.kind = kind;
    w.start.room = QString::fromUtf8(room);
    w.start.controller = controllerOn(port);
    w.started = at(minute);
    w.finished = at(minute, 20);
    w.outcome = outcome;
    return w;
}

// Room 10 (after room 9 in natural order): codes, parameters and card; room 9:
// codes written twice, the second time part way; one write without a room.
std::vector<WriteEntry> sampleWrites() {
    std::vector<WriteEntry> out;
    WriteEntry a = write(WriteKind::Codes, "10", "/dev/ttyUSB0", 1);
    a.start.company = QStringLiteral("爱普生");
    a.start.model = QStringLiteral("EB-X");
    a.start.projectorBaud = 9600;
    a.keys = {key(0, "开机", "50 57 52 20 4f 4e 0d", KeyOutcome::Confirmed, 1),
              key(1, "关机", "50 57 52 20 4f 46 46 0d", KeyOutcome::Written, 1),
              key(2, "太长", "aa", KeyOutcome::Refused, 1)};
    out.push_back(a);
    WriteEntry r = write(WriteKind::Room, "10", "/dev/ttyUSB0", 2);
    r.start.roomBlock = QStringLiteral("03 01 00 01 0a 00 01 00");
    out.push_back(r);
    WriteEntry c = write(WriteKind::Card, "10", "/dev/ttyUSB0", 3);
    c.start.card = QStringLiteral("A-0010");
    out.push_back(c);

    WriteEntry b1 = write(WriteKind::Codes, "9", "/dev/ttyUSB1", 4);
    b1.start.company = QStringLiteral("NEC");
    b1.start.model = QStringLiteral("V1");
    b1.start.projectorBaud = 19200;
    b1.keys = {key(0, "开机", "02 00 00 00 00 02", KeyOutcome::Confirmed, 4),
               key(1, "关机", "02 01 00 00 00 03", KeyOutcome::Confirmed, 4)};
    out.push_back(b1);
    WriteEntry b2 = write(WriteKind::Codes, "9", "/dev/ttyUSB1", 5, WriteOutcome::WriteFailed);
    b2.start.company = QStringLiteral("NEC");
    b2.start.model = QStringLiteral("V1");
    b2.start.projectorBaud = 19200;
    b2.message = QStringLiteral("串口 /dev/ttyUSB1 已断开");
    b2.keys = {key(0, "开机", "02 00 00 00 00 02", KeyOutcome::Written, 5)};
    out.push_back(b2);

    out.push_back(write(WriteKind::Card, "", "/dev/ttyUSB2", 6));
    out.back().start.card = QStringLiteral("9");
    return out;
}

int pdfPageCount(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    int n = 0;
    auto it = page.globalMatch(QString::fromLatin1(pdf));
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

} // namespace

class TestRoomReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pages_holdTheLastWriteOfEachKeyAndTheUnfinishedWrites() {
        const RoomReport r = buildRoomReport(sampleWrites(), at(30));
        QCOMPARE(r.rooms.size(), std::size_t(3));
        QCOMPARE(r.rooms[0].room, QStringLiteral("9"));
        QCOMPARE(r.rooms[1].room, QStringLiteral("10"));
        QCOMPARE(r.rooms[2].room, QString());

        const RoomPage& nine = r.rooms[0];
        QCOMPARE(nine.model, QStringLiteral("V1"));
        QCOMPARE(nine.keys.size(), std::size_t(2));
        // Written again part way: slot 0 is unconfirmed now, slot 1 keeps its echo.
        QCOMPARE(nine.keys[0].outcome, KeyOutcome::Written);
        QCOMPARE(nine.keys[1].outcome, KeyOutcome::Confirmed);
        QCOMPARE(nine.problems.size(), 1);
        QVERIFY(nine.problems[0].contains(QStringLiteral("已断开")));
        QVERIFY(nine.roomBlock.isEmpty());
        QVERIFY(!nine.card);

        const RoomPage& ten = r.rooms[1];
        QCOMPARE(ten.controller.port, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ten.keysConfirmed(), 1);
        QCOMPARE(ten.keysUnconfirmed(), 1);
        QCOMPARE(ten.keysRefused(), 1);
        QCOMPARE(ten.roomBlock, QStringLiteral("03 01 00 01 0a 00 01 00"));
        QCOMPARE(*ten.card, QStringLiteral("A-0010"));
        QVERIFY(ten.problems.isEmpty());

        QCOMPARE(r.keysConfirmed(), 2);
        QCOMPARE(r.keysUnconfirmed(), 2);
        QCOMPARE(r.keysRefused(), 1);
    }

    void failedWrite_laterCompleted_isNoLongerAProblem() {
        std::vector<WriteEntry> w;
        w.push_back(write(WriteKind::Room, "5", "/dev/ttyUSB0", 1, WriteOutcome::PortFailed));
        w.push_back(write(WriteKind::Room, "5", "/dev/ttyUSB0", 2));
        w.back().start.roomBlock = QStringLiteral("01 00 01 01 05 00 00 00");
        w.push_back(write(WriteKind::Card, "5", "/dev/ttyUSB0", 3, WriteOutcome::Pending));
        w.back().finished = QDateTime();
        const RoomReport r = buildRoomReport(w, at(30));
        QCOMPARE(r.rooms[0].problems.size(), 1);
        QVERIFY(r.rooms[0].problems[0].contains(QStringLiteral("程序中途结束")));
        QVERIFY(!r.rooms[0].card); // a card write that never ended is not the room's card
    }

    void html_holdsTheSummaryAndAPagePerRoom() {
        const QString html = QString::fromUtf8(reportHtml(buildRoomReport(sampleWrites(), at(30))));
        QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QVERIFY(html.contains(QStringLiteral("<style>")));
        QVERIFY(html.contains(QStringLiteral("<h1>房间调试报告</h1>")));
        // The summary: 3 rooms, 2 complete, 2 confirmed, 2 unconfirmed, 1 refused.
        QVERIFY(html.contains(QStringLiteral("<tr><td>3</td><td>2</td><td class=\"ok\">2</td>"
                                             "<td class=\"no\">2</td><td>1</td></tr>")));
        QCOMPARE(html.count(QStringLiteral("<div class=\"room\">")), 3);
        QVERIFY(html.contains(QStringLiteral("房间 （未命名）")));
        QVERIFY(html.contains(QStringLiteral("2009（Dorim版）")));
        QVERIFY(html.contains(QStringLiteral("爱普生 EB-X，9600 波特")));
        QVERIFY(html.contains(QStringLiteral(
            "<td>0 开机1</td><td>开机</td><td class=\"code\">50 57 52 20 4f 4e 0d</td>")));
        QVERIFY(html.contains(QStringLiteral("未收到回码")));
        QVERIFY(html.contains(QStringLiteral("未写入：功能码过长（最多61字节）")));
        QVERIFY(html.contains(
            QStringLiteral("<th width=\"20%\">信号源</th><td width=\"30%\">手提电脑</td>")));
        QVERIFY(html.contains(
            QStringLiteral("<th width=\"20%\">门探开关</th><td width=\"30%\">常开</td>")));
        QVERIFY(
            html.contains(QStringLiteral("已确认 09:01:30")
                              .replace(QStringLiteral("09:01:30"), localTime(at(1, 30)).mid(11))));
        QVERIFY(html.contains(QStringLiteral("卡号 <b>A-0010</b>")));
        QVERIFY(html.contains(QStringLiteral("未完成的写入")));
        // Room 9 comes before room 10.
        QVERIFY(html.indexOf(QStringLiteral("房间 9</h2>")) <
                html.indexOf(QStringLiteral("房间 10</h2>")));
    }

    void html_escapesNamesAndCodes() {
        std::vector<WriteEntry> w{write(WriteKind::Card, "<b>&\"", "/dev/x", 1)};
        w[0].start.card = QStringLiteral("<script>");
        const QString html = QString::fromUtf8(reportHtml(buildRoomReport(w, at(30))));
        QVERIFY(!html.contains(QStringLiteral("<script>")));
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;&amp;&quot;")));
    }

    void csv_holdsOneRecordPerKeyAndOnePerRoomWithoutKeys() {
        const QByteArray csv = reportCsv(buildRoomReport(sampleWrites(), at(30)));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        const QList<QByteArray> lines = csv.mid(3).split('\n');
        // Header, 2 keys of room 9, 3 keys of room 10, the unnamed room, and the
        // empty piece after the last CRLF.
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QByteArray("room,port,edition,machine_type,company,model,projector_baud,"
                                      "slot,key,function,code,outcome,written_at,confirmed,echo_at,"
                                      "echo_bytes,reason,room_parameters,card,problems\r"));
        const QString t = localTime(at(4));
        const QString e = localTime(at(4, 30));
        QCOMPARE(QString::fromUtf8(lines[2]),
                 QStringLiteral("9,/dev/ttyUSB1,2009,0,NEC,V1,19200,1,关机1,关机,02 01 00 00 00 03,"
                                "confirmed,%1,1,%2,02 01 00 00 00 03,,,,")
                         .arg(t, e) +
                     QStringLiteral("%1 写码：写入中断（串口 /dev/ttyUSB1 已断开）\r")
                         .arg(localTime(at(5))));
        QVERIFY(lines[5].startsWith(
            "10,/dev/ttyUSB0,2009,0,爱普生,EB-X,9600,2,视频1,太长,aa,refused,,0,,,"));
        QVERIFY(lines[5].endsWith(",03 01 00 01 0a 00 01 00,A-0010,\r"));
        QCOMPARE(lines[6], QByteArray(",/dev/ttyUSB2,2009,0,,,,,,,,,,,,,,,9,\r"));
    }

    void pdf_isWrittenWithTheSummaryPageAndOnePagePerRoom() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        QString error;
        QVERIFY2(writeReportPdf(buildRoomReport(sampleWrites(), at(30)), path, error),
                 qPrintable(error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pdf = f.readAll();
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY(pdf.size() > 2000);
        QCOMPARE(pdfPageCount(pdf), 1 + 3);
    }

    void pdf_roomWithAllEighteenKeysParametersAndCard_fitsOnePage() {
        std::vector<WriteEntry> w{write(WriteKind::Codes, "201", "/dev/ttyUSB0", 1)};
        w[0].start.company = QStringLiteral("Maker with a rather long company name Ltd.");
        w[0].start.model = QStringLiteral("Model-2000 with a long name");
        for (int slot = 0; slot < 18; ++slot)
            w[0].keys.push_back(key(slot, "电源开 (HDMI 1)", "2a 70 6f 77 3d 6f 6e 23 0d 0a",
                                    KeyOutcome::Confirmed, 1));
        w.push_back(write(WriteKind::Room, "201", "/dev/ttyUSB0", 2));
        w.back().start.roomBlock = QStringLiteral("01 00 01 01 05 00 00 00");
        w.push_back(write(WriteKind::Card, "201", "/dev/ttyUSB0", 3, WriteOutcome::WriteFailed));
        w.back().start.card = QStringLiteral("1");
        w.back().message = QStringLiteral("串口 /dev/ttyUSB0 已断开");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        QString error;
        QVERIFY2(writeReportPdf(buildRoomReport(w, at(30)), path, error), qPrintable(error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(pdfPageCount(f.readAll()), 2);
    }

    void pdf_toAFolderThatDoesNotExist_failsWithAReason() {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!writeReportPdf(buildRoomReport(sampleWrites(), at(30)),
                                dir.filePath(QStringLiteral("no/such/report.pdf")), error));
        QVERIFY(error.contains(QStringLiteral("无法写入")));
    }
};

QTEST_MAIN(TestRoomReport)
#include "test_room_report.moc"
