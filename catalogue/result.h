#pragma once
// Outcome of a catalogue operation: a value, or an error with the Chinese text
// shown to the user.

#include <QString>

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace pj::catalogue {

enum class ErrorCode {
    CatalogueNotFound, // "没找到数据库文件！": missing, damaged or not a catalogue
    CatalogueExists,   // init on a file or connection that already holds something
    CompanyExists,     // "该公司名称已经存在!"
    ModelExists,       // "该型号已经存在!"
    EmptyModelName,    // "请填写型号！"
    BadCode,           // "功能码格式错误"
    TooLong,           // a name, code or description over its limit
    BadSlot,           // key slot outside 0..17
    BadParity,         // parity outside 0..2
    NoSuchCompany,
    NoSuchModel,
    BadFile,          // an import file that cannot be read or is malformed
    Busy,             // another process held the catalogue too long
    Database,         // the engine failed; the message carries its text
    BadBaud,          // "波特率无效": a line speed of 0, or above 2,147,483,647
    EmptyCompanyName, // "请填写公司名称！": an empty or blank company name
    BadText,          // a control character, an unpaired surrogate or invalid UTF-8 in a text
    Conflict,         // the row was deleted, renamed or changed by someone else meanwhile
};

struct Error {
    ErrorCode code;
    QString message; // one line, Chinese
};

// The fixed texts. Every Error built by the catalogue uses these.
namespace text {
inline const QString kCatalogueNotFound = QStringLiteral("没找到数据库文件！");
inline const QString kCompanyExists = QStringLiteral("该公司名称已经存在!");
inline const QString kModelExists = QStringLiteral("该型号已经存在!");
inline const QString kEmptyModelName = QStringLiteral("请填写型号！");
inline const QString kBadCode = QStringLiteral("功能码格式错误");
inline const QString kEmptyCompanyName = QStringLiteral("请填写公司名称！");
inline const QString kBadBaud = QStringLiteral("波特率无效");
} // namespace text

template <class T> class [[nodiscard]] Result {
public:
    Result(T value)
        : v_(std::move(value)) {}
    Result(Error error)
        : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(v_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(v_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(v_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(v_);
    }

private:
    std::variant<T, Error> v_;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error)
        : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const {
        assert(!ok());
        return *error_;
    }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

} // namespace pj::catalogue
