#include "record/roomreport.h"

#include "catalogue/csvformat.h"
#include "catalogue/functionkeys.h"
#include "link/edition.h"
#include "link/serialport.h"

#include <QStringList>

#include <algorithm>
#include <map>

namespace pj::record {

namespace {

template <class Pages, class F> int sumOf(const Pages& pages, F f) {
    int n = 0;
    for (const auto& p : pages)
        n += (p.*f)();
    return n;
}

int countKeys(const std::vector<RoomKey>& keys, KeyOutcome outcome) {
    return static_cast<int>(std::count_if(
        keys.begin(), keys.end(), [outcome](const RoomKey& k) { return k.outcome == outcome; }));
}

// Whether the write put anything on the controller.
bool reachedController(const WriteEntry& w) {
    if (w.start.kind == WriteKind::Codes) {
        return std::any_of(w.keys.begin(), w.keys.end(),
                           [](const KeyEntry& k) { return k.outcome != KeyOutcome::Refused; });
    }
    return w.outcome == WriteOutcome::Completed || w.outcome == WriteOutcome::ListenFailed;
}

QString kindName(WriteKind kind) {
    switch (kind) {
    case WriteKind::Codes:
        return QStringLiteral("写码");
    case WriteKind::Room:
        return QStringLiteral("房间参数");
    case WriteKind::Card:
        return QStringLiteral("ID卡");
    }
    return {};
}

QString outcomeName(WriteOutcome o) {
    switch (o) {
    case WriteOutcome::Pending:
        return QStringLiteral("未完成（程序中途结束）");
    case WriteOutcome::Completed:
        return QStringLiteral("完成");
    case WriteOutcome::Refused:
        return QStringLiteral("未写入");
    case WriteOutcome::Cancelled:
        return QStringLiteral("已取消");
    case WriteOutcome::PortFailed:
        return QStringLiteral("无法打开串口");
    case WriteOutcome::WriteFailed:
        return QStringLiteral("写入中断");
    case WriteOutcome::LineRefused:
        return QStringLiteral("串口不接受投影机的线路设置");
    case WriteOutcome::ListenFailed:
        return QStringLiteral("已写入，之后无法接收回码");
    case WriteOutcome::Stopped:
        return QStringLiteral("已停止");
    }
    return {};
}

QString h(const QString& s) {
    return s.toHtmlEscaped();
}

// A time on a room's page: the time of day, with the date when it is not
// the day of `day`.
QString shortTime(const QDateTime& utc, const QDateTime& day) {
    if (!utc.isValid())
        return {};
    const QDateTime local = utc.toLocalTime();
    return local.date() == day.toLocalTime().date()
               ? local.toString(QStringLiteral("HH:mm:ss"))
               : local.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The echo is the code itself (only an exact echo confirms), so its time says it all.
QString confirmedText(const RoomKey& k) {
    switch (k.outcome) {
    case KeyOutcome::Confirmed:
        return QStringLiteral("已确认 %1").arg(shortTime(k.echoAt, k.at));
    case KeyOutcome::Written:
        return QStringLiteral("未收到回码");
    case KeyOutcome::Refused:
        return QStringLiteral("—");
    }
    return {};
}

} // namespace

int RoomPage::keysConfirmed() const {
    return countKeys(keys, KeyOutcome::Confirmed);
}
int RoomPage::keysUnconfirmed() const {
    return countKeys(keys, KeyOutcome::Written);
}
int RoomPage::keysRefused() const {
    return countKeys(keys, KeyOutcome::Refused);
}
int RoomReport::keysConfirmed() const {
    return sumOf(rooms, &RoomPage::keysConfirmed);
}
int RoomReport::keysUnconfirmed() const {
    return sumOf(rooms, &RoomPage::keysUnconfirmed);
}
int RoomReport::keysRefused() const {
    return sumOf(rooms, &RoomPage::keysRefused);
}

QString roomTitle(const QString& room) {
    return room.isEmpty() ? QStringLiteral("（未命名）") : room;
}

QString editionText(int editionCode) {
    const auto* e = link::findEdition(editionCode);
    return e ? QStringLiteral("%1（%2）").arg(editionCode).arg(QString::fromUtf8(e->label))
             : QString::number(editionCode);
}

QString machineTypeText(int machineType) {
    switch (machineType) {
    case 0:
        return QStringLiteral("单机");
    case 1:
        return QStringLiteral("网络");
    default:
        return QStringLiteral("未选择");
    }
}

QString keyNameOfSlot(int slot) {
    const auto name = catalogue::functionKeyName(slot);
    return name.empty() ? QString::number(slot)
                        : QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::vector<std::pair<QString, QString>> roomParameterTexts(const QString& blockHex) {
    std::vector<int> b;
    for (const QString& part : blockHex.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int v = part.toInt(&ok, 16);
        b.push_back(ok ? v : 0);
    }
    if (b.size() != 8)
        return {{QStringLiteral("数据"), blockHex}};
    const QStringList sources{QStringLiteral("台式电脑"), QStringLiteral("手提电脑"),
                              QStringLiteral("展台"), QStringLiteral("视频"),
                              QStringLiteral("备用")};
    const QStringList visualizers{QStringLiteral("模拟展台"), QStringLiteral("数字展台")};
    auto pick = [](const QStringList& names, int v) {
        return v >= 0 && v < names.size() ? names[v] : QStringLiteral("（未选择）");
    };
    auto yesNo = [](int v) { return v ? QStringLiteral("是") : QStringLiteral("否"); };
    return {
        {QStringLiteral("信号源"), pick(sources, b[1])},
        {QStringLiteral("关投影机延时"), QStringLiteral("%1 分钟").arg(b[0])},
        {QStringLiteral("展台类型"), pick(visualizers, b[2])},
        {QStringLiteral("幕布升降时间"), QStringLiteral("%1 秒").arg(b[4])},
        {QStringLiteral("关机报警"), yesNo(b[3])},
        {QStringLiteral("一键通"), yesNo(b[5])},
        {QStringLiteral("门探开关"), b[6] ? QStringLiteral("常开") : QStringLiteral("常闭")},
        {QStringLiteral("机器类型"), b[7] ? QStringLiteral("网络") : QStringLiteral("单机")},
    };
}

QString localTime(const QDateTime& utc) {
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                         : QString();
}

RoomReport buildRoomReport(const std::vector<WriteEntry>& writes, const QDateTime& made) {
    RoomReport report;
    report.made = made;
    std::map<QString, std::vector<const WriteEntry*>> byRoom;
    for (const WriteEntry& w : writes)
        byRoom[w.start.room].push_back(&w);

    for (const auto& [room, list] : byRoom) {
        RoomPage page;
        page.room = room;
        std::map<int, RoomKey> slots;
        bool controllerKnown = false;
        // The last write of each kind that completed, and the failures since.
        std::map<WriteKind, std::vector<const WriteEntry*>> failuresSince;
        for (const WriteEntry* w : list) {
            if (!page.firstWrite.isValid() || w->started < page.firstWrite)
                page.firstWrite = w->started;
            const QDateTime end = w->finished.isValid() ? w->finished : w->started;
            if (!page.lastWrite.isValid() || end > page.lastWrite)
                page.lastWrite = end;
            const bool reached = reachedController(*w);
            if (reached || !controllerKnown) {
                page.controller = w->start.controller;
                controllerKnown = controllerKnown || reached;
            }
            if (w->start.kind == WriteKind::Codes) {
                for (const KeyEntry& k : w->keys) {
                    RoomKey rk;
                    rk.slot = k.slot;
                    rk.name = k.name;
                    rk.code = k.code;
                    rk.company = w->start.company;
                    rk.model = w->start.model;
                    rk.outcome = k.outcome;
                    rk.reason = k.reason;
                    rk.at = k.at;
                    rk.echoAt = k.echoAt;
                    rk.echoBytes = k.echoBytes;
                    // A refused key leaves the slot as an earlier write left it.
                    if (k.outcome != KeyOutcome::Refused || !slots.count(k.slot))
                        slots[k.slot] = rk;
                }
                if (reached) {
                    page.company = w->start.company;
                    page.model = w->start.model;
                    page.projectorBaud = w->start.projectorBaud;
                }
            } else if (reached && w->start.kind == WriteKind::Room) {
                page.roomBlock = w->start.roomBlock;
                page.roomAt = end;
            } else if (reached && w->start.kind == WriteKind::Card) {
                page.card = w->start.card;
                page.cardAt = end;
            }
            auto& failures = failuresSince[w->start.kind];
            if (w->outcome == WriteOutcome::Completed)
                failures.clear();
            else if (w->outcome != WriteOutcome::Cancelled)
                failures.push_back(w);
        }
        for (auto& [slot, key] : slots)
            page.keys.push_back(key);
        std::vector<const WriteEntry*> failures;
        for (const auto& [kind, list2] : failuresSince)
            failures.insert(failures.end(), list2.begin(), list2.end());
        std::sort(failures.begin(), failures.end(),
                  [](const WriteEntry* a, const WriteEntry* b) { return a->started < b->started; });
        for (const WriteEntry* w : failures) {
            QString line =
                QStringLiteral("%1 %2：%3")
                    .arg(localTime(w->started), kindName(w->start.kind), outcomeName(w->outcome));
            if (!w->message.isEmpty())
                line += QStringLiteral("（%1）").arg(w->message);
            page.problems << line;
        }
        report.rooms.push_back(std::move(page));
    }

    std::stable_sort(report.rooms.begin(), report.rooms.end(),
                     [](const RoomPage& a, const RoomPage& b) {
                         if (a.room.isEmpty() != b.room.isEmpty())
                             return b.room.isEmpty();
                         return link::naturalLess(a.room.toStdString(), b.room.toStdString());
                     });
    return report;
}

QByteArray reportHtml(const RoomReport& report) {
    QString o;
    o += QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>房间调试报告</title>\n<style>\n"
        "body { font-family: \"Noto Sans CJK SC\", \"Microsoft YaHei\", \"SimSun\", sans-serif;"
        " font-size: 10pt; color: #222; margin: 2em; }\n"
        "h1 { font-size: 18pt; color: #1f4e79; margin-bottom: 0.2em; }\n"
        "h2 { font-size: 14pt; color: #1f4e79; border-bottom: 2px solid #1f4e79; margin-top: 0; }\n"
        "h3 { font-size: 11pt; color: #1f4e79; margin-top: 0.8em; margin-bottom: 0.3em; }\n"
        "table { border-collapse: collapse; width: 100%; margin: 0.4em 0; }\n"
        "th { background: #dce6f2; text-align: left; }\n"
        "th, td { border: 1px solid #8ea9c8; padding: 1px 5px; }\n"
        ".meta { color: #555; }\n"
        ".ok { color: #2e7d32; }\n"
        ".code { font-family: \"DejaVu Sans Mono\", Consolas, monospace; font-size: 8pt; }\n"
        ".no { color: #c62828; }\n"
        ".room { page-break-before: always; break-before: page; }\n"
        "@media screen { .room { border-top: 1px dashed #8ea9c8; margin-top: 3em; } }\n"
        "</style>\n</head>\n<body>\n");
    o += QStringLiteral("<h1>房间调试报告</h1>\n<p class=\"meta\">生成时间：%1")
             .arg(h(localTime(report.made)));
    if (!report.roomFilter.isEmpty())
        o += QStringLiteral("　房间：%1").arg(h(report.roomFilter));
    if (report.since.isValid())
        o += QStringLiteral("　自 %1 起").arg(h(localTime(report.since)));
    o += QStringLiteral("</p>\n");

    const auto roomsDone = std::count_if(report.rooms.begin(), report.rooms.end(),
                                         [](const RoomPage& p) { return p.problems.isEmpty(); });
    o += QStringLiteral("<h2>汇总</h2>\n<table class=\"summary\" width=\"100%\" border=\"1\" "
                        "cellspacing=\"0\" cellpadding=\"2\">\n"
                        "<tr><th>房间</th><th>全部完成的房间</th><th>已确认的键</th>"
                        "<th>未确认的键</th><th>未写入的键</th></tr>\n");
    o += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"ok\">%3</td><td class=\"no\">%4</td>"
                        "<td>%5</td></tr>\n</table>\n")
             .arg(report.rooms.size())
             .arg(roomsDone)
             .arg(report.keysConfirmed())
             .arg(report.keysUnconfirmed())
             .arg(report.keysRefused());
    o += QStringLiteral("<table class=\"rooms\" width=\"100%\" border=\"1\" cellspacing=\"0\" "
                        "cellpadding=\"2\">\n<tr><th>房间</th><th>投影机</th><th>已确认 / 已写入"
                        "</th><th>房间参数</th><th>ID卡</th><th>状态</th></tr>\n");
    for (const RoomPage& p : report.rooms) {
        const int written = p.keysConfirmed() + p.keysUnconfirmed();
        o += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3 / %4</td><td>%5</td><td>%6</td>"
                            "<td class=\"%7\">%8</td></tr>\n")
                 .arg(h(roomTitle(p.room)), h((p.company + QLatin1Char(' ') + p.model).trimmed()))
                 .arg(p.keysConfirmed())
                 .arg(written)
                 .arg(p.roomBlock.isEmpty() ? QStringLiteral("—") : QStringLiteral("已设置"),
                      p.card ? h(*p.card) : QStringLiteral("—"),
                      p.problems.isEmpty() ? QStringLiteral("ok") : QStringLiteral("no"),
                      p.problems.isEmpty() ? QStringLiteral("完成")
                                           : QStringLiteral("有未完成的写入"));
    }
    o += QStringLiteral("</table>\n");

    for (const RoomPage& p : report.rooms) {
        o += QStringLiteral("<div class=\"room\">\n<h2 style=\"page-break-before: always\">房间 "
                            "%1</h2>\n")
                 .arg(h(roomTitle(p.room)));
        o += QStringLiteral("<table class=\"info\" width=\"100%\" border=\"1\" cellspacing=\"0\" "
                            "cellpadding=\"2\">\n");
        auto row = [&o](const QString& label, const QString& value) {
            o += QStringLiteral("<tr><th width=\"25%\">%1</th><td>%2</td></tr>\n")
                     .arg(h(label), h(value));
        };
        row(QStringLiteral("中控"), QStringLiteral("串口 %1，版本 %2，编程波特率 %3，%4")
                                        .arg(p.controller.port, editionText(p.controller.edition))
                                        .arg(p.controller.controllerBaud)
                                        .arg(machineTypeText(p.controller.machineType)));
        row(QStringLiteral("投影机"),
            p.model.isEmpty() && p.company.isEmpty()
                ? (p.keys.empty() ? QStringLiteral("—") : QStringLiteral("（手工给出的功能码）"))
                : QStringLiteral("%1 %2，%3 波特").arg(p.company, p.model).arg(p.projectorBaud));
        row(QStringLiteral("写入时间"),
            QStringLiteral("%1 至 %2").arg(localTime(p.firstWrite), localTime(p.lastWrite)));
        o += QStringLiteral("</table>\n<h3>功能码</h3>\n");
        if (p.keys.empty()) {
            o += QStringLiteral("<p>没有写入功能码。</p>\n");
        } else {
            o += QStringLiteral(
                "<table class=\"keys\" width=\"100%\" border=\"1\" cellspacing=\"0\" "
                "cellpadding=\"2\">\n<tr><th width=\"12%\">键位</th><th width=\"20%\">功能</th>"
                "<th width=\"34%\">功能码</th><th width=\"12%\">写入</th>"
                "<th width=\"22%\">回码</th></tr>\n");
            for (const RoomKey& k : p.keys) {
                QString name = k.name;
                if (k.company != p.company || k.model != p.model)
                    name += QStringLiteral("（%1 %2）").arg(k.company, k.model);
                const QString when = k.outcome == KeyOutcome::Refused
                                         ? QStringLiteral("未写入：%1").arg(k.reason)
                                         : shortTime(k.at, p.lastWrite);
                const QString cls = k.outcome == KeyOutcome::Confirmed ? QStringLiteral("ok")
                                                                       : QStringLiteral("no");
                o += QStringLiteral("<tr><td>%1 %2</td><td>%3</td><td class=\"code\">%4</td>"
                                    "<td>%5</td><td class=\"%6\">%7</td></tr>\n")
                         .arg(k.slot)
                         .arg(h(keyNameOfSlot(k.slot)), h(name), h(k.code), h(when), cls,
                              h(confirmedText(k)));
            }
            o += QStringLiteral("</table>\n");
        }
        o += QStringLiteral("<h3>房间参数</h3>\n");
        if (p.roomBlock.isEmpty()) {
            o += QStringLiteral("<p>没有写入房间参数。</p>\n");
        } else {
            o += QStringLiteral("<table class=\"parameters\" width=\"100%\" border=\"1\" "
                                "cellspacing=\"0\" cellpadding=\"2\">\n");
            auto pairs = roomParameterTexts(p.roomBlock);
            pairs.emplace_back(QStringLiteral("写入时间"), localTime(p.roomAt));
            for (std::size_t i = 0; i < pairs.size(); i += 2) {
                o += QStringLiteral("<tr><th width=\"20%\">%1</th><td width=\"30%\">%2</td>")
                         .arg(h(pairs[i].first), h(pairs[i].second));
                if (i + 1 < pairs.size())
                    o += QStringLiteral("<th width=\"20%\">%1</th><td width=\"30%\">%2</td>")
                             .arg(h(pairs[i + 1].first), h(pairs[i + 1].second));
                else
                    o += QStringLiteral("<th width=\"20%\"></th><td width=\"30%\"></td>");
                o += QStringLiteral("</tr>\n");
            }
            o += QStringLiteral("</table>\n");
        }
        o += QStringLiteral("<h3>ID卡</h3>\n");
        if (!p.card)
            o += QStringLiteral("<p>没有写入ID卡号。</p>\n");
        else
            o += QStringLiteral("<p>卡号 <b>%1</b>（%2 写入）</p>\n")
                     .arg(p.card->isEmpty() ? QStringLiteral("（空）") : h(*p.card),
                          h(localTime(p.cardAt)));
        if (!p.problems.isEmpty()) {
            o += QStringLiteral("<h3 class=\"no\">未完成的写入</h3>\n<ul>\n");
            for (const QString& line : p.problems)
                o += QStringLiteral("<li>%1</li>\n").arg(h(line));
            o += QStringLiteral("</ul>\n");
        }
        o += QStringLiteral("</div>\n");
    }
    o += QStringLiteral("</body>\n</html>\n");
    return o.toUtf8();
}

QByteArray reportCsv(const RoomReport& report) {
    QByteArray out("\xEF\xBB\xBF");
    out += catalogue::csvRecord({QStringLiteral("room"),
                                 QStringLiteral("port"),
                                 QStringLiteral("edition"),
                                 QStringLiteral("machine_type"),
                                 QStringLiteral("company"),
                                 QStringLiteral("model"),
                                 QStringLiteral("projector_baud"),
                                 QStringLiteral("slot"),
                                 QStringLiteral("key"),
                                 QStringLiteral("function"),
                                 QStringLiteral("code"),
                                 QStringLiteral("outcome"),
                                 QStringLiteral("written_at"),
                                 QStringLiteral("confirmed"),
                                 QStringLiteral("echo_at"),
                                 QStringLiteral("echo_bytes"),
                                 QStringLiteral("reason"),
                                 QStringLiteral("room_parameters"),
                                 QStringLiteral("card"),
                                 QStringLiteral("problems")});
    for (const RoomPage& p : report.rooms) {
        const QStringList room{p.room,
                               p.controller.port,
                               QString::number(p.controller.edition),
                               QString::number(p.controller.machineType),
                               p.company,
                               p.model,
                               p.projectorBaud ? QString::number(p.projectorBaud) : QString()};
        const QStringList tail{p.roomBlock, p.card.value_or(QString()),
                               p.problems.join(QStringLiteral("; "))};
        if (p.keys.empty()) {
            out += catalogue::csvRecord(room + QStringList(10) + tail);
            continue;
        }
        for (const RoomKey& k : p.keys) {
            const QStringList key{QString::number(k.slot),
                                  keyNameOfSlot(k.slot),
                                  k.name,
                                  k.code,
                                  keyOutcomeText(k.outcome),
                                  k.outcome == KeyOutcome::Refused ? QString() : localTime(k.at),
                                  k.outcome == KeyOutcome::Confirmed ? QStringLiteral("1")
                                                                     : QStringLiteral("0"),
                                  localTime(k.echoAt),
                                  k.echoBytes,
                                  k.reason};
            out += catalogue::csvRecord(room + key + tail);
        }
    }
    return out;
}

} // namespace pj::record
