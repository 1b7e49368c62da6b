#include "record/recordtypes.h"

#include <array>
#include <utility>

namespace pj::record {

namespace {

constexpr std::array<std::pair<WriteKind, const char*>, 3> kKinds{{
    {WriteKind::Codes, "codes"},
    {WriteKind::Room, "room"},
    {WriteKind::Card, "card"},
}};

constexpr std::array<std::pair<KeyOutcome, const char*>, 3> kKeyOutcomes{{
    {KeyOutcome::Written, "written"},
    {KeyOutcome::Refused, "refused"},
    {KeyOutcome::Confirmed, "confirmed"},
}};

constexpr std::array<std::pair<WriteOutcome, const char*>, 9> kWriteOutcomes{{
    {WriteOutcome::Pending, "pending"},
    {WriteOutcome::Completed, "completed"},
    {WriteOutcome::Refused, "refused"},
    {WriteOutcome::Cancelled, "cancelled"},
    {WriteOutcome::PortFailed, "port_failed"},
    {WriteOutcome::WriteFailed, "write_failed"},
    {WriteOutcome::LineRefused, "line_refused"},
    {WriteOutcome::ListenFailed, "listen_failed"},
    {WriteOutcome::Stopped, "stopped"},
}};

template <class E, std::size_t N>
QString textOf(const std::array<std::pair<E, const char*>, N>& table, E value) {
    for (const auto& [v, text] : table) {
        if (v == value)
            return QString::fromLatin1(text);
    }
    return {};
}

template <class E, std::size_t N>
std::optional<E> valueOf(const std::array<std::pair<E, const char*>, N>& table,
                         const QString& text) {
    for (const auto& [v, t] : table) {
        if (text == QLatin1String(t))
            return v;
    }
    return std::nullopt;
}

} // namespace

QString kindText(WriteKind kind) {
    return textOf(kKinds, kind);
}

std::optional<WriteKind> kindFromText(const QString& text) {
    return valueOf(kKinds, text);
}

QString keyOutcomeText(KeyOutcome outcome) {
    return textOf(kKeyOutcomes, outcome);
}

std::optional<KeyOutcome> keyOutcomeFromText(const QString& text) {
    return valueOf(kKeyOutcomes, text);
}

QString writeOutcomeText(WriteOutcome outcome) {
    return textOf(kWriteOutcomes, outcome);
}

WriteOutcome writeOutcomeFromText(const QString& text) {
    return valueOf(kWriteOutcomes, text).value_or(WriteOutcome::WriteFailed);
}

} // namespace pj::record
