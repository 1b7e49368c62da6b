#pragma once
// The input rules of the catalogue, one value at a time. Every operation that
// stores a value applies these same functions, so a caller that checks each
// value first (the model editor, cell by cell; the command line; the CSV
// reader, row by row) refuses exactly what the catalogue would refuse, with
// the same message.
//
// A check returns an empty Status when the value may be stored, otherwise
// the Error the operation would give (message in Chinese, one line).

#include "catalogue/cataloguedb.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace pj::catalogue {

// Line speeds the catalogue stores: a positive whole number that fits the
// signed 32-bit BAUD column of every engine (Access LONG, PostgreSQL INTEGER).
inline constexpr std::int64_t kMinBaud = 1;
inline constexpr std::int64_t kMaxBaud = 2147483647;

// ---- names and texts ---------------------------------------------------------
// Names are stored exactly as given (no trimming): at most 50 characters, no
// control characters (U+0000..U+001F, U+007F..U+009F, line and paragraph
// separators), no unpaired surrogate and no noncharacter (U+FFFE, U+FFFF, …).
// A leading U+FEFF is an ordinary character.

// Not empty, not only white space: EmptyCompanyName ("请填写公司名称！").
Status checkCompanyName(const QString& name);
// Not empty, not only white space: EmptyModelName ("请填写型号！").
Status checkModelName(const QString& name);
// A key's display name; may be empty.
Status checkKeyName(const QString& name);
// At most 65,535 characters; tab, CR and LF allowed, other control characters not.
Status checkDescription(const QString& text);

// ---- numbers -------------------------------------------------------------------

// kMinBaud..kMaxBaud: BadBaud ("波特率无效" for 0 or less, "波特率超出范围" above).
Status checkBaud(std::int64_t baud);
// A speed as typed: decimal digits only (surrounding blanks ignored), then
// checkBaud. "abc", "", "+9600", "9600.0" give BadBaud "波特率无效".
Result<std::uint32_t> parseBaudText(const QString& text);
// 0..17: BadSlot.
Status checkSlot(int slot);
// 0 none, 1 odd, 2 even: BadParity.
Status checkParity(int parity);

// ---- codes -----------------------------------------------------------------------

// A code as the user types it, and what is stored for it: with `ascii` off,
// whole hex pairs (at least one byte), stored unchanged; with `ascii` on,
// printable ASCII text, stored as asciiToCodeText makes it (hex pairs and
// " 0d"). BadCode ("功能码格式错误") or TooLong (over 255 stored characters).
Result<QString> checkCodeText(const QString& typed, bool ascii);
// A code already in its stored form (import, keeping rows): hex pairs, may be
// empty, at most 255 characters.
Status checkStoredCode(const QString& stored);

// ---- text from outside ---------------------------------------------------------

// Bytes from the command line or a file as UTF-8, strictly: invalid or
// truncated sequences are refused (BadText, "<what>不是有效的 UTF-8 文本"),
// never replaced; nothing is dropped (a leading byte-order mark is kept as
// U+FEFF).
Result<QString> textFromUtf8(QByteArrayView bytes, const QString& what);

// ---- a whole model ---------------------------------------------------------------

// The value of a model input that a refusal is about, so that an editor can
// select the offending field or grid cell.
enum class InputField { ModelName, Baud, Parity, Description, KeyName, KeySlot, KeyCode };

struct InputFault {
    InputField field;
    int keyRow = -1; // index into ModelInput::keys for KeyName, KeySlot and KeyCode
    Error error;
};

// The first value of the model input that the catalogue would refuse, in the
// order name, speed, parity, description, then each key row's name, slot and
// code; nullopt when the whole input may be saved.
std::optional<InputFault> findInputFault(const ModelInput& model);

} // namespace pj::catalogue
