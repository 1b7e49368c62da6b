#include "shell/options.h"

namespace pj::shell {

namespace {

std::optional<std::uint8_t> parseByte(const QString& text) {
    bool ok = false;
    const uint value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                           ? text.mid(2).toUInt(&ok, 16)
                           : text.toUInt(&ok, 10);
    if (!ok || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::optional<ProgramOptions> parseOptions(const QStringList& args, QString& error) {
    ProgramOptions o;
    o.keepRecord = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](const QString& name) -> std::optional<QString> {
            if (a.startsWith(name + QLatin1Char('=')))
                return a.mid(name.size() + 1);
            if (i + 1 < args.size())
                return args[++i];
            error = QStringLiteral("%1 需要一个值").arg(name);
            return std::nullopt;
        };
        if (a == QStringLiteral("--simulate")) {
            o.simulate = true;
        } else if (a.startsWith(QStringLiteral("--simulate="))) {
            const auto byte = parseByte(a.mid(11));
            if (!byte) {
                error = QStringLiteral("--simulate 的应答字节无效：%1").arg(a.mid(11));
                return std::nullopt;
            }
            o.simulate = true;
            o.answerByte = *byte;
        } else if (a == QStringLiteral("--port") || a.startsWith(QStringLiteral("--port="))) {
            const auto port = value(QStringLiteral("--port"));
            if (!port)
                return std::nullopt;
            if (port->isEmpty()) {
                error = QStringLiteral("--port 需要一个串口名");
                return std::nullopt;
            }
            o.ports.push_back(port->toStdString());
        } else if (a == QStringLiteral("--version")) {
            o.version = true;
        } else if (a == QStringLiteral("--record") || a.startsWith(QStringLiteral("--record="))) {
            const auto file = value(QStringLiteral("--record"));
            if (!file)
                return std::nullopt;
            if (file->isEmpty()) {
                error = QStringLiteral("--record 需要一个文件名");
                return std::nullopt;
            }
            o.recordFile = *file;
        } else if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            o.help = true;
        } else {
            error = QStringLiteral("未知的参数：%1").arg(a);
            return std::nullopt;
        }
    }
    return o;
}

QString usageText() {
    return QStringLiteral(
        "用法: PROJECTOR [--simulate[=应答字节]] [--port 串口]... [--record 文件] [--version]\n"
        "  --simulate[=0x01]  在程序内启动模拟中控（伪终端），并首先在其串口上查找中控\n"
        "  --port 串口        也在该串口上查找中控（可重复）\n"
        "  --record 文件      调试记录文件（默认为型号库旁的 projector-record.db）\n"
        "  --version          显示版本后退出\n"
        "型号库为工作目录中的 projector.mdb。\n");
}

} // namespace pj::shell
