#include "catalogue/csvformat.h"

namespace pj::catalogue {

namespace {

const QStringList kHeader = {QStringLiteral("kind"),        QStringLiteral("company"),
                             QStringLiteral("model"),       QStringLiteral("baud"),
                             QStringLiteral("parity"),      QStringLiteral("ascii"),
                             QStringLiteral("description"), QStringLiteral("function"),
                             QStringLiteral("slot"),        QStringLiteral("code")};

enum Column { Kind, Company, Model, Baud, ParityCol, Ascii, Description, Function, Slot, Code };

Error badLine(int line, const QString& why) {
    return {ErrorCode::BadFile, QStringLiteral("导入文件第 %1 行：%2").arg(line).arg(why)};
}

} // namespace

QByteArray csvRecord(const QStringList& fields) {
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        const QByteArray f = fields[i].toUtf8();
        if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n')) {
            QByteArray q = f;
            q.replace("\"", "\"\"");
            out += '"' + q + '"';
        } else {
            out += f;
        }
    }
    out += "\r\n";
    return out;
}

std::optional<std::vector<QStringList>> parseCsv(const QByteArray& data, std::vector<int>* lines) {
    std::vector<QStringList> records;
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype n = data.size();
    int line = 1;
    while (i < n) {
        QStringList record;
        const int firstLine = line;
        QByteArray field;
        bool endOfRecord = false;
        while (!endOfRecord) {
            field.clear();
            if (i < n && data[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n)
                        return std::nullopt; // unterminated quote
                    const char c = data[i++];
                    if (c == '"') {
                        if (i < n && data[i] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                    field += c;
                }
                // Only a separator or the end of the record may follow.
                if (i < n && data[i] != ',' && data[i] != '\r' && data[i] != '\n')
                    return std::nullopt;
            } else {
                while (i < n && data[i] != ',' && data[i] != '\r' && data[i] != '\n')
                    field += data[i++];
            }
            record << QString::fromUtf8(field);
            if (i < n && data[i] == ',') {
                ++i;
                continue;
            }
            if (i < n && data[i] == '\r')
                ++i;
            if (i < n && data[i] == '\n')
                ++i;
            ++line;
            endOfRecord = true;
        }
        records.push_back(std::move(record));
        if (lines)
            lines->push_back(firstLine);
    }
    return records;
}

QByteArray writeCatalogueCsv(const CatalogueSnapshot& s) {
    QByteArray out = csvRecord(kHeader);
    for (const QString& c : s.companies) {
        QStringList r(kHeader.size());
        r[Kind] = QStringLiteral("company");
        r[Company] = c;
        out += csvRecord(r);
    }
    for (const auto& m : s.models) {
        QStringList r(kHeader.size());
        r[Kind] = QStringLiteral("model");
        r[Company] = m.company;
        r[Model] = m.input.name;
        r[Baud] = QString::number(m.input.baud);
        r[ParityCol] = QString::number(m.input.parity);
        r[Ascii] = m.input.ascii ? QStringLiteral("1") : QStringLiteral("0");
        r[Description] = m.input.description;
        out += csvRecord(r);
        for (const auto& k : m.input.keys) {
            QStringList kr(kHeader.size());
            kr[Kind] = QStringLiteral("key");
            kr[Company] = m.company;
            kr[Model] = m.input.name;
            kr[Function] = k.function;
            kr[Slot] = QString::number(k.slot);
            kr[Code] = k.code;
            out += csvRecord(kr);
        }
    }
    return out;
}

Result<CatalogueSnapshot> readCatalogueCsv(const QByteArray& data) {
    std::vector<int> lines;
    auto records = parseCsv(data, &lines);
    if (!records)
        return Error{ErrorCode::BadFile, QStringLiteral("导入文件格式错误：引号没有闭合")};
    if (records->empty() || (*records)[0] != kHeader)
        return Error{ErrorCode::BadFile,
                     QStringLiteral("导入文件的第一行必须是：%1").arg(kHeader.join(u','))};
    CatalogueSnapshot s;
    for (std::size_t i = 1; i < records->size(); ++i) {
        const QStringList& r = (*records)[i];
        const int line = lines[i];
        if (r.size() == 1 && r[0].isEmpty())
            continue; // blank line
        if (r.size() != kHeader.size())
            return badLine(
                line, QStringLiteral("应有 %1 列，实际 %2 列").arg(kHeader.size()).arg(r.size()));
        const QString& kind = r[Kind];
        if (kind == QLatin1String("company")) {
            s.companies.push_back(r[Company]);
        } else if (kind == QLatin1String("model")) {
            CatalogueSnapshot::Model m;
            m.company = r[Company];
            m.input.name = r[Model];
            bool ok = false;
            const qulonglong baud = r[Baud].toULongLong(&ok);
            if (!ok || baud > 0xffffffffULL)
                return badLine(line, QStringLiteral("波特率无效：%1").arg(r[Baud]));
            m.input.baud = static_cast<std::uint32_t>(baud);
            m.input.parity = r[ParityCol].toInt(&ok);
            if (!ok)
                return badLine(line, QStringLiteral("校验位无效：%1").arg(r[ParityCol]));
            if (r[Ascii] != QLatin1String("0") && r[Ascii] != QLatin1String("1"))
                return badLine(line, QStringLiteral("ascii 列必须是 0 或 1"));
            m.input.ascii = r[Ascii] == QLatin1String("1");
            m.input.codesStored = true;
            m.input.description = r[Description];
            s.models.push_back(std::move(m));
        } else if (kind == QLatin1String("key")) {
            if (s.models.empty() || s.models.back().company != r[Company] ||
                s.models.back().input.name != r[Model])
                return badLine(line, QStringLiteral("功能码行必须紧跟在它的型号行之后"));
            bool ok = false;
            const int slot = r[Slot].toInt(&ok);
            if (!ok)
                return badLine(line, QStringLiteral("功能键位置无效：%1").arg(r[Slot]));
            s.models.back().input.keys.push_back({r[Function], slot, r[Code]});
        } else {
            return badLine(line, QStringLiteral("未知的行类型：%1").arg(kind));
        }
    }
    return s;
}

} // namespace pj::catalogue
