#include "catalogue/csvformat.h"

#include "catalogue/checks.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

namespace pj::catalogue {

namespace {

const QStringList kHeader = {QStringLiteral("kind"),        QStringLiteral("company"),
                             QStringLiteral("model"),       QStringLiteral("baud"),
                             QStringLiteral("parity"),      QStringLiteral("ascii"),
                             QStringLiteral("description"), QStringLiteral("function"),
                             QStringLiteral("slot"),        QStringLiteral("code")};

enum Column { Kind, Company, Model, Baud, ParityCol, Ascii, Description, Function, Slot, Code };

constexpr qsizetype kChunk = 64 * 1024;

Error badLine(int line, const QString& why) {
    return {ErrorCode::BadFile, QStringLiteral("导入文件第 %1 行：%2").arg(line).arg(why)};
}

} // namespace

// ---- records ------------------------------------------------------------------

CsvReader::CsvReader(QIODevice& in, qint64 maxBytes)
    : in_(in)
    , maxBytes_(maxBytes) {}

bool CsvReader::fill() {
    if (eof_)
        return false;
    if (pos_ > 0) {
        buf_.remove(0, pos_);
        pos_ = 0;
    }
    // One byte past the limit tells a file at the limit from a larger one.
    const qint64 room = maxBytes_ + 1 - consumed_;
    if (room <= 0) {
        eof_ = true;
        tooLarge_ = true;
        return false;
    }
    const qint64 want = std::min<qint64>(kChunk, room);
    const qsizetype old = buf_.size();
    buf_.resize(old + want);
    const qint64 got = in_.read(buf_.data() + old, want);
    if (got <= 0) {
        buf_.resize(old);
        eof_ = true;
        return false;
    }
    buf_.resize(old + got);
    consumed_ += got;
    if (consumed_ > maxBytes_) {
        // Everything up to the limit is read; the byte beyond it is not.
        buf_.chop(consumed_ - maxBytes_);
        eof_ = true;
        tooLarge_ = true;
    }
    return pos_ < buf_.size();
}

int CsvReader::peek() {
    if (pos_ >= buf_.size() && !fill())
        return -1;
    return static_cast<unsigned char>(buf_[pos_]);
}

int CsvReader::get() {
    const int c = peek();
    if (c >= 0)
        ++pos_;
    return c;
}

CsvReader::Next CsvReader::fail(const QString& why, int line) {
    error_ = why;
    errorLine_ = line;
    return Next::Error;
}

CsvReader::Next CsvReader::next(std::vector<QByteArray>& fields, int& line) {
    fields.clear();
    if (!error_.isEmpty())
        return Next::Error;
    if (!started_) {
        started_ = true;
        // A byte-order mark is one only at the very start of the file.
        if (peek() == 0xEF && buf_.size() - pos_ < 3)
            fill();
        if (buf_.mid(pos_, 3) == QByteArrayLiteral("\xEF\xBB\xBF"))
            pos_ += 3;
    }
    if (peek() < 0) {
        if (tooLarge_)
            return fail(QStringLiteral("导入文件超过 %1 MiB").arg(maxBytes_ / (1024 * 1024)),
                        line_);
        return Next::End;
    }
    line = line_;
    QByteArray field;
    const auto tooLong = [&] {
        return fail(QStringLiteral("字段超过 %1 KiB").arg(kMaxCsvFieldBytes / 1024), line_);
    };
    for (;;) {
        field.clear();
        if (peek() == '"') {
            get();
            for (;;) {
                const int c = get();
                if (c < 0)
                    return fail(QStringLiteral("引号没有闭合"), line);
                if (c == '"') {
                    if (peek() == '"') {
                        get();
                        field += '"';
                        continue;
                    }
                    break;
                }
                if (c == '\n')
                    ++line_;
                field += static_cast<char>(c);
                if (field.size() > kMaxCsvFieldBytes)
                    return tooLong();
            }
            // Only a separator or the end of the record may follow.
            const int after = peek();
            if (after >= 0 && after != ',' && after != '\r' && after != '\n')
                return fail(QStringLiteral("引号后只能是逗号或行尾"), line_);
        } else {
            for (int c = peek(); c >= 0 && c != ',' && c != '\r' && c != '\n'; c = peek()) {
                field += static_cast<char>(get());
                if (field.size() > kMaxCsvFieldBytes)
                    return tooLong();
            }
        }
        fields.push_back(field);
        if (peek() == ',') {
            get();
            continue;
        }
        if (peek() == '\r')
            get();
        if (peek() == '\n')
            get();
        ++line_;
        if (tooLarge_ && peek() < 0)
            return fail(QStringLiteral("导入文件超过 %1 MiB").arg(maxBytes_ / (1024 * 1024)), line);
        return Next::Record;
    }
}

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
    QByteArray copy = data;
    QBuffer in(&copy);
    in.open(QIODevice::ReadOnly);
    CsvReader reader(in, std::max<qint64>(data.size(), 1));
    std::vector<QStringList> records;
    std::vector<QByteArray> fields;
    int line = 0;
    for (;;) {
        const auto n = reader.next(fields, line);
        if (n == CsvReader::Next::End)
            return records;
        if (n == CsvReader::Next::Error)
            return std::nullopt;
        QStringList record;
        for (const QByteArray& f : fields) {
            auto text = textFromUtf8(f, QString());
            if (!text)
                return std::nullopt;
            record << *text;
        }
        records.push_back(std::move(record));
        if (lines)
            lines->push_back(line);
    }
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

namespace {

// A small whole number as written in the file: digits with an optional minus.
std::optional<int> smallNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isDigit() && text[i].unicode() < 0x80) && !(i == 0 && text[i] == u'-'))
            return std::nullopt;
    }
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// One record's fields as text, checked for the columns its kind uses.
Result<QStringList> decodeRecord(const std::vector<QByteArray>& fields, int line) {
    QStringList r;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString column = i < static_cast<std::size_t>(kHeader.size())
                                   ? kHeader[static_cast<qsizetype>(i)]
                                   : QString::number(i + 1);
        auto text = textFromUtf8(fields[i], QStringLiteral("%1 列").arg(column));
        if (!text)
            return badLine(line, text.error().message);
        r << *text;
    }
    return r;
}

Status checked(const Status& s, int line) {
    if (!s)
        return badLine(line, s.error().message);
    return {};
}

} // namespace

Result<CatalogueSnapshot> readCatalogueCsv(QIODevice& in) {
    CsvReader reader(in);
    std::vector<QByteArray> fields;
    int line = 0;
    const auto readError = [&] { return badLine(reader.errorLine(), reader.errorText()); };

    auto first = reader.next(fields, line);
    if (first == CsvReader::Next::Error)
        return readError();
    {
        auto header = first == CsvReader::Next::Record ? decodeRecord(fields, line)
                                                       : Result<QStringList>(QStringList());
        if (!header || *header != kHeader)
            return Error{ErrorCode::BadFile,
                         QStringLiteral("导入文件的第一行必须是：%1").arg(kHeader.join(u','))};
    }
    CatalogueSnapshot s;
    for (;;) {
        const auto n = reader.next(fields, line);
        if (n == CsvReader::Next::End)
            break;
        if (n == CsvReader::Next::Error)
            return readError();
        if (fields.size() == 1 && fields[0].isEmpty())
            continue; // blank line
        if (fields.size() != static_cast<std::size_t>(kHeader.size()))
            return badLine(
                line,
                QStringLiteral("应有 %1 列，实际 %2 列").arg(kHeader.size()).arg(fields.size()));
        auto decoded = decodeRecord(fields, line);
        if (!decoded)
            return decoded.error();
        const QStringList& r = *decoded;
        const QString& kind = r[Kind];
        if (kind == QLatin1String("company")) {
            if (auto c = checked(checkCompanyName(r[Company]), line); !c)
                return c.error();
            s.companies.push_back(r[Company]);
        } else if (kind == QLatin1String("model")) {
            CatalogueSnapshot::Model m;
            m.company = r[Company];
            m.input.name = r[Model];
            if (auto c = checked(checkModelName(m.input.name), line); !c)
                return c.error();
            auto baud = parseBaudText(r[Baud]);
            if (!baud)
                return badLine(line, QStringLiteral("%1：%2").arg(baud.error().message, r[Baud]));
            m.input.baud = *baud;
            const auto parity = smallNumber(r[ParityCol]);
            if (!parity)
                return badLine(line, QStringLiteral("校验位无效：%1").arg(r[ParityCol]));
            if (auto c = checked(checkParity(*parity), line); !c)
                return c.error();
            m.input.parity = *parity;
            if (r[Ascii] != QLatin1String("0") && r[Ascii] != QLatin1String("1"))
                return badLine(line, QStringLiteral("ascii 列必须是 0 或 1"));
            m.input.ascii = r[Ascii] == QLatin1String("1");
            m.input.codesStored = true;
            m.input.description = r[Description];
            if (auto c = checked(checkDescription(m.input.description), line); !c)
                return c.error();
            s.models.push_back(std::move(m));
        } else if (kind == QLatin1String("key")) {
            if (s.models.empty() || s.models.back().company != r[Company] ||
                s.models.back().input.name != r[Model])
                return badLine(line, QStringLiteral("功能码行必须紧跟在它的型号行之后"));
            const auto slot = smallNumber(r[Slot]);
            if (!slot)
                return badLine(line, QStringLiteral("功能键位置无效：%1").arg(r[Slot]));
            if (auto c = checked(checkSlot(*slot), line); !c)
                return c.error();
            if (auto c = checked(checkKeyName(r[Function]), line); !c)
                return c.error();
            if (auto c = checked(checkStoredCode(r[Code]), line); !c)
                return c.error();
            s.models.back().input.keys.push_back({r[Function], *slot, r[Code]});
        } else {
            return badLine(line, QStringLiteral("未知的行类型：%1").arg(kind));
        }
    }
    return s;
}

Result<CatalogueSnapshot> readCatalogueCsv(const QByteArray& data) {
    QByteArray copy = data;
    QBuffer in(&copy);
    in.open(QIODevice::ReadOnly);
    return readCatalogueCsv(in);
}

Result<CatalogueSnapshot> readCatalogueCsvFile(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists())
        return Error{ErrorCode::BadFile, QStringLiteral("无法读取文件：%1").arg(path)};
    if (!fi.isFile())
        return Error{ErrorCode::BadFile, QStringLiteral("不是普通文件，不能导入：%1").arg(path)};
    if (fi.size() > kMaxCsvBytes)
        return Error{
            ErrorCode::BadFile,
            QStringLiteral("导入文件超过 %1 MiB：%2").arg(kMaxCsvBytes / (1024 * 1024)).arg(path)};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Error{ErrorCode::BadFile, QStringLiteral("无法读取文件：%1").arg(path)};
    return readCatalogueCsv(f);
}

} // namespace pj::catalogue
