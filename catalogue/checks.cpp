#include "catalogue/checks.h"

#include "catalogue/functionkeys.h"
#include "link/codetext.h"

#include <QStringDecoder>

namespace pj::catalogue {

namespace {

// Characters as the user counts them (a character outside the BMP is one).
qsizetype charCount(const QString& s) {
    qsizetype n = 0;
    for (const QChar c : s) {
        if (!c.isLowSurrogate())
            ++n;
    }
    return n;
}

Status checkLength(const QString& value, int limit, const QString& what) {
    if (charCount(value) > limit)
        return Error{ErrorCode::TooLong, QStringLiteral("%1超过%2个字符").arg(what).arg(limit)};
    return {};
}

QString codePoint(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

// Control characters (and, unless `lineBreaks`, tab, CR, LF and the Unicode
// line and paragraph separators), unpaired surrogates and noncharacters
// (U+FFFE, U+FFFF and the like, which are not for interchange).
Status checkCharacters(const QString& value, const QString& what, bool lineBreaks) {
    const auto invalid = [&] {
        return Error{ErrorCode::BadText, QStringLiteral("%1含有无效字符").arg(what)};
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c.isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate()) {
            if (QChar::isNonCharacter(QChar::surrogateToUcs4(c, value[i + 1])))
                return invalid();
            ++i;
            continue;
        }
        if (c.isSurrogate() || c.isNonCharacter())
            return invalid();
        const bool breakChar =
            c == u'\t' || c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029);
        if (lineBreaks && breakChar)
            continue;
        if (c.category() == QChar::Other_Control || breakChar)
            return Error{ErrorCode::BadText, QStringLiteral("%1含有控制字符 %2（第 %3 个字符）")
                                                 .arg(what, codePoint(c.unicode()))
                                                 .arg(charCount(value.left(i)) + 1)};
    }
    return {};
}

bool isBlank(const QString& s) {
    for (const QChar c : s) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

Status checkName(const QString& name, const QString& what) {
    if (auto r = checkLength(name, kMaxNameLength, what); !r)
        return r;
    return checkCharacters(name, what, false);
}

} // namespace

Status checkCompanyName(const QString& name) {
    if (isBlank(name))
        return Error{ErrorCode::EmptyCompanyName, text::kEmptyCompanyName};
    return checkName(name, QStringLiteral("公司名称"));
}

Status checkModelName(const QString& name) {
    if (isBlank(name))
        return Error{ErrorCode::EmptyModelName, text::kEmptyModelName};
    return checkName(name, QStringLiteral("型号名称"));
}

Status checkKeyName(const QString& name) {
    return checkName(name, QStringLiteral("功能键名称"));
}

Status checkDescription(const QString& text) {
    const QString what = QStringLiteral("备注");
    if (auto r = checkLength(text, kMaxDescriptionLength, what); !r)
        return r;
    return checkCharacters(text, what, true);
}

Status checkBaud(std::int64_t baud) {
    if (baud < kMinBaud)
        return Error{ErrorCode::BadBaud, text::kBadBaud};
    if (baud > kMaxBaud)
        return Error{ErrorCode::BadBaud, QStringLiteral("波特率超出范围")};
    return {};
}

Result<std::uint32_t> parseBaudText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 18)
        return Error{ErrorCode::BadBaud,
                     t.isEmpty() ? text::kBadBaud : QStringLiteral("波特率超出范围")};
    std::int64_t v = 0;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return Error{ErrorCode::BadBaud, text::kBadBaud};
        v = v * 10 + (c.unicode() - u'0');
    }
    if (auto r = checkBaud(v); !r)
        return r.error();
    return static_cast<std::uint32_t>(v);
}

Status checkSlot(int slot) {
    if (!isValidSlot(slot))
        return Error{ErrorCode::BadSlot,
                     QStringLiteral("功能键位置 %1 不在 0 到 17 之间").arg(slot)};
    return {};
}

Status checkParity(int parity) {
    if (parity < 0 || parity > 2)
        return Error{ErrorCode::BadParity,
                     QStringLiteral("校验位必须是 0（无校验）、1（奇校验）或 2（偶校验）")};
    return {};
}

namespace {

Status checkStoredLength(const QString& stored) {
    if (charCount(stored) > kMaxCodeLength)
        return Error{ErrorCode::TooLong, QStringLiteral("功能码超过%1个字符").arg(kMaxCodeLength)};
    return {};
}

} // namespace

Result<QString> checkCodeText(const QString& typed, bool ascii) {
    QString stored;
    if (ascii) {
        // Printable ASCII only, converted to hex pairs with the closing
        // carriage return.
        for (const QChar c : typed) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                return Error{ErrorCode::BadCode, text::kBadCode};
        }
        stored = QString::fromStdString(pj::link::asciiToCodeText(typed.toStdString()));
    } else {
        const auto bytes = pj::link::parseCodeTextStrict(typed.toStdString());
        if (!bytes || bytes->empty())
            return Error{ErrorCode::BadCode, text::kBadCode};
        stored = typed;
    }
    if (auto r = checkStoredLength(stored); !r)
        return r.error();
    return stored;
}

Status checkStoredCode(const QString& stored) {
    if (!pj::link::parseCodeTextStrict(stored.toStdString()))
        return Error{ErrorCode::BadCode, text::kBadCode};
    return checkStoredLength(stored);
}

Result<QString> textFromUtf8(QByteArrayView bytes, const QString& what) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    if (bytes.isEmpty())
        return QString();
    QString out = decoder.decode(bytes);
    if (decoder.hasError())
        return Error{ErrorCode::BadText, QStringLiteral("%1不是有效的 UTF-8 文本").arg(what)};
    return out;
}

namespace {

Status checkKeyCode(const QString& code, bool ascii, bool codesStored) {
    if (codesStored)
        return checkStoredCode(code);
    if (auto r = checkCodeText(code, ascii); !r)
        return r.error();
    return {};
}

} // namespace

std::optional<InputFault> findInputFault(const ModelInput& m) {
    const auto fault = [](InputField f, const Status& s,
                          int row = -1) -> std::optional<InputFault> {
        if (s)
            return std::nullopt;
        return InputFault{f, row, s.error()};
    };
    if (auto f = fault(InputField::ModelName, checkModelName(m.name)))
        return f;
    if (auto f = fault(InputField::Baud, checkBaud(m.baud)))
        return f;
    if (auto f = fault(InputField::Parity, checkParity(m.parity)))
        return f;
    if (auto f = fault(InputField::Description, checkDescription(m.description)))
        return f;
    for (std::size_t i = 0; i < m.keys.size(); ++i) {
        const KeyInput& k = m.keys[i];
        const int row = static_cast<int>(i);
        if (auto f = fault(InputField::KeyName, checkKeyName(k.function), row))
            return f;
        if (auto f = fault(InputField::KeySlot, checkSlot(k.slot), row))
            return f;
        if (auto f = fault(InputField::KeyCode, checkKeyCode(k.code, m.ascii, m.codesStored), row))
            return f;
    }
    return std::nullopt;
}

} // namespace pj::catalogue
