#include "shell/monitorlog.h"

#include "link/receivedtext.h"
#include "link/roomcard.h"

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
    // One character per byte, whatever the byte.
    e.text = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return add(std::move(e));
}

MonitorLog::Change MonitorLog::addNote(const QString& text, QTime at) {
    Entry e;
    e.at = at;
    e.note = true;
    e.text = text;
    return add(std::move(e));
}

void MonitorLog::clear() {
    entries_.clear();
    length_ = 0;
}

void MonitorLog::setShowTime(bool on) {
    if (on == showTime_)
        return;
    showTime_ = on;
    std::vector<qsizetype> lengths;
    length_ = render(showTime_, &lengths).size();
    for (std::size_t i = 0; i < entries_.size(); ++i)
        entries_[i].shown = lengths[i];
}

bool MonitorLog::startsLine(const Entry& e, bool showTime) {
    return e.note || showTime;
}

QString MonitorLog::piece(const Entry& e, bool showTime) {
    QString out;
    if (showTime)
        out = timeStamp(e.at) + QLatin1Char(' ');
    out += e.text;
    if (e.note)
        out += QLatin1Char('\n');
    return out;
}

MonitorLog::Change MonitorLog::add(Entry entry) {
    Change change;
    // A line of its own: the break goes to the end of the entry before (a
    // note ends with one already), so that cutting that entry takes its
    // break with it.
    if (!entries_.empty() && startsLine(entry, showTime_) && !entries_.back().note) {
        change.append = QStringLiteral("\n");
        entries_.back().shown += 1;
        length_ += 1;
    }
    const QString p = piece(entry, showTime_);
    change.append += p;
    entry.shown = p.size();
    length_ += entry.shown;
    entries_.push_back(std::move(entry));

    if (length_ > keep_ + slack_) {
        while (entries_.size() > 1 && length_ - entries_.front().shown >= keep_) {
            change.removeFront += entries_.front().shown;
            length_ -= entries_.front().shown;
            entries_.pop_front();
        }
    }
    return change;
}

QString MonitorLog::render(bool showTime, std::vector<qsizetype>* lengths) const {
    QString out;
    out.reserve(length_ + 16);
    if (lengths)
        lengths->assign(entries_.size(), 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (i > 0 && startsLine(e, showTime) && !entries_[i - 1].note) {
            out += QLatin1Char('\n');
            if (lengths)
                (*lengths)[i - 1] += 1;
        }
        const QString p = piece(e, showTime);
        out += p;
        if (lengths)
            (*lengths)[i] = p.size();
    }
    return out;
}

QString MonitorLog::text() const {
    return render(showTime_, nullptr);
}

QString MonitorLog::savedText() const {
    QString out = render(true, nullptr);
    if (!out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
        out += QLatin1Char('\n');
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
