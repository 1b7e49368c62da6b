#include "shell/monitorlog.h"

#include "link/receivedtext.h"
#include "link/roomcard.h"

#include <algorithm>

namespace pj::shell {

MonitorLog::MonitorLog(qsizetype keepChars, qsizetype slackChars)
    : keep_(std::max<qsizetype>(1, keepChars))
    , slack_(std::max<qsizetype>(0, slackChars)) {}

QString MonitorLog::timeStamp(QTime at) {
    return at.toString(QStringLiteral("hh:mm:ss.zzz"));
}

MonitorLog::Change MonitorLog::addBlock(std::span<const std::uint8_t> block, bool ascii, QTime at) {
    receivedBytes_ += block.size();
    const std::string text = pj::link::formatReceivedBlock(block, ascii);
    Entry e;
    e.at = at;
    e.kind = ascii ? Kind::Ascii : Kind::Hex;
    // One character per byte, whatever the byte.
    e.text = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return add(std::move(e));
}

MonitorLog::Change MonitorLog::addNote(const QString& text, QTime at) {
    Entry e;
    e.at = at;
    e.kind = Kind::Note;
    e.text = text;
    return add(std::move(e));
}

void MonitorLog::clear() {
    entries_.clear();
    length_ = 0;
    column_ = 0;
}

void MonitorLog::setShowTime(bool on) {
    if (on == showTime_)
        return;
    showTime_ = on;
    relayout();
}

void MonitorLog::setWrapColumns(int hex, int ascii) {
    hex = std::max(0, hex);
    ascii = std::max(0, ascii);
    if (hex == wrapHex_ && ascii == wrapAscii_)
        return;
    wrapHex_ = hex;
    wrapAscii_ = ascii;
    relayout();
}

MonitorLog::Laid MonitorLog::lay(const Entry& e, qsizetype& column) const {
    Laid out;
    const bool note = e.kind == Kind::Note;
    if ((note || showTime_) && column > 0) {
        out.breakBefore = true;
        column = 0;
    }
    QString& body = out.body;
    if (showTime_) {
        body = timeStamp(e.at) + QLatin1Char(' ');
        column += body.size();
    }
    if (note) {
        body += e.text;
        body += QLatin1Char('\n');
        column = 0;
        return out;
    }
    const QChar* c = e.text.constData();
    const qsizetype n = e.text.size();
    const int wrap = e.kind == Kind::Hex ? wrapHex_ : wrapAscii_;
    if (showTime_ || wrap <= 0) {
        body += e.text;
        for (qsizetype i = 0; i < n; ++i)
            column = (c[i] == QLatin1Char('\n') || c[i] == QLatin1Char('\r')) ? 0 : column + 1;
        return out;
    }
    body.reserve(body.size() + n + n / wrap + 2);
    const auto lineBreak = [&] {
        if (body.isEmpty())
            out.breakBefore = true;
        else
            body += QLatin1Char('\n');
        column = 0;
    };
    if (e.kind == Kind::Hex) {
        // Pairs stay whole; the space after a pair may hang over the edge.
        for (qsizetype i = 0; i < n; i += 3) {
            if (column > 0 && column + 2 > wrap)
                lineBreak();
            body.append(c + i, std::min<qsizetype>(3, n - i));
            column += 3;
        }
    } else {
        for (qsizetype i = 0; i < n; ++i) {
            if (c[i] == QLatin1Char('\n') || c[i] == QLatin1Char('\r')) {
                body += c[i];
                column = 0;
                continue;
            }
            if (column >= wrap)
                lineBreak();
            body += c[i];
            ++column;
        }
    }
    return out;
}

MonitorLog::Change MonitorLog::add(Entry entry) {
    Change change;
    const Laid laid = lay(entry, column_);
    if (laid.breakBefore && !entries_.empty()) {
        // The break ends the entry before, so that cutting that entry takes
        // its break with it.
        change.append = QStringLiteral("\n");
        entries_.back().shown += QLatin1Char('\n');
        length_ += 1;
    }
    change.append += laid.body;
    entry.shown = laid.body;
    length_ += entry.shown.size();
    entries_.push_back(std::move(entry));

    if (length_ > keep_ + slack_) {
        while (entries_.size() > 1 && length_ - entries_.front().shown.size() >= keep_) {
            change.removeFront += entries_.front().shown.size();
            length_ -= entries_.front().shown.size();
            entries_.pop_front();
        }
    }
    return change;
}

void MonitorLog::relayout() {
    column_ = 0;
    length_ = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Laid laid = lay(entries_[i], column_);
        if (laid.breakBefore && i > 0) {
            entries_[i - 1].shown += QLatin1Char('\n');
            length_ += 1;
        }
        entries_[i].shown = laid.body;
        length_ += laid.body.size();
    }
}

QString MonitorLog::text() const {
    QString out;
    out.reserve(length_);
    for (const Entry& e : entries_)
        out += e.shown;
    return out;
}

QString MonitorLog::savedText() const {
    QString out;
    for (const Entry& e : entries_) {
        out += timeStamp(e.at);
        out += QLatin1Char(' ');
        out += e.text;
        out += QLatin1Char('\n');
    }
    return out;
}

QStringList MonitorSettings::speedItems() {
    return {QStringLiteral("300"),   QStringLiteral("600"),   QStringLiteral("1200"),
            QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
            QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
            QStringLiteral("115200")};
}

QStringList MonitorSettings::parityItems() {
    return {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")};
}

std::optional<pj::link::LineSettings> MonitorSettings::choose(const QString& speedText,
                                                              int parityRow) {
    const auto baud = pj::link::parseBaudText(speedText.toStdString());
    if (!baud)
        return std::nullopt;
    pj::link::LineSettings s;
    s.baud = *baud;
    s.dataBits = 8;
    s.parityCode = (parityRow == 1 || parityRow == 2) ? parityRow : 0;
    s.stopCode = 1;
    return s;
}

} // namespace pj::shell
