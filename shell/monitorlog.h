#pragma once
// The receive monitor's text without widgets: every received block and every
// note about the port ("串口 … 已断开") is kept as an entry with the time it
// arrived, and the box's text is made from the entries. The box is changed in
// small steps - text added at its end, old text cut from its start - which
// each call returns, so a long session never rebuilds the whole box.
//
// Scrollback: at least the last kKeepChars characters stay; once the text has
// grown kSlackChars past that, the oldest entries go until it is back near
// kKeepChars (so the box is cut now and then, not at every block).
//
// With time stamps shown, every entry starts a line with "hh:mm:ss.zzz ";
// without them the blocks follow one another as they came and only the port
// notes stand on lines of their own.
//
// Wrap column: the box wraps long text itself, but a text that never breaks
// (a stream in hex) would make one paragraph of 80,000 characters that the
// box lays out again at every block. With a wrap column set, blocks shown
// without time stamps are broken into lines of at most that many characters
// (hex between pairs), where the box would wrap them anyway; every line is
// then a paragraph of its own. What is saved is never broken.

#include "link/serialport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace pj::shell {

class MonitorLog {
public:
    static constexpr qsizetype kKeepChars = 64 * 1024;
    static constexpr qsizetype kSlackChars = 16 * 1024;

    // What the box must do: cut `removeFront` characters from its start, then
    // add `append` at its end.
    struct Change {
        qsizetype removeFront = 0;
        QString append;
    };

    explicit MonitorLog(qsizetype keepChars = kKeepChars, qsizetype slackChars = kSlackChars);

    // A received block, shown in hex or as ASCII (read at each arrival).
    Change addBlock(std::span<const std::uint8_t> block, bool ascii, QTime at);
    // A note of the monitor's own on a line of its own.
    Change addNote(const QString& text, QTime at);
    // "清空": every entry goes.
    void clear();

    bool showTime() const { return showTime_; }
    // Switches the time stamps; the box is then given text() whole.
    void setShowTime(bool on);
    // Characters per line for blocks without time stamps, for hex and for
    // ASCII blocks; 0 leaves the wrapping to the box. The box is then given
    // text() whole.
    void setWrapColumns(int hex, int ascii);
    int hexWrapColumn() const { return wrapHex_; }
    int asciiWrapColumn() const { return wrapAscii_; }

    // The whole text of the box.
    QString text() const;
    qsizetype length() const { return length_; }
    // What "保存…" writes: every entry kept, each on a line starting with its
    // time stamp, ending with a line break.
    QString savedText() const;

    std::size_t entryCount() const { return entries_.size(); }
    // Bytes given to addBlock since the log was made (clear() keeps counting).
    std::uint64_t receivedBytes() const { return receivedBytes_; }

    static QString timeStamp(QTime at); // "hh:mm:ss.zzz"

private:
    enum class Kind { Hex, Ascii, Note };
    struct Entry {
        QTime at;
        Kind kind = Kind::Hex;
        QString text;  // as received (formatted), or the note
        QString shown; // this entry's part of the box, line breaks included
    };
    // An entry laid out after the text so far, whose last line holds
    // `column` characters (updated).
    struct Laid {
        bool breakBefore = false; // a line break ends the text before it
        QString body;
    };

    Change add(Entry entry);
    Laid lay(const Entry& e, qsizetype& column) const;
    // Lays out every entry again (time stamps or wrap column changed).
    void relayout();

    qsizetype keep_;
    qsizetype slack_;
    bool showTime_ = false;
    int wrapHex_ = 0;
    int wrapAscii_ = 0;
    qsizetype column_ = 0; // characters on the box's last line
    std::deque<Entry> entries_;
    qsizetype length_ = 0;
    std::uint64_t receivedBytes_ = 0;
};

// The listening settings the monitor's two lists stand for.
struct MonitorSettings {
    // The speed list of the monitor ("300" … "115200").
    static QStringList speedItems();
    // "无校验", "奇校验", "偶校验" (index = parity code).
    static QStringList parityItems();

    // The settings for a speed text and the chosen parity row (-1 when the
    // text was typed and matches no row: no parity). nullopt when the speed
    // is not a positive whole number ("波特率无效").
    static std::optional<pj::link::LineSettings> choose(const QString& speedText, int parityRow);
};

} // namespace pj::shell
