#pragma once
// The install record "qR.ini": what an installation made, so that the
// uninstallation can undo it from this file alone.
//
// Format: lines ending in CR LF (the last one too), each at most 259 bytes.
// Line 1 is the product title, which names the program group; every further
// line is the full path of one file the installation created, in the order of
// creation. No sections or keys despite the extension.
//
// Encoding: on Windows the ANSI code page when every line of the record has
// an exact form there (so older readers keep working), otherwise UTF-8 behind
// a byte-order mark, never a line garbled into question marks; on POSIX UTF-8
// without a mark. The reader takes both.

#include "install/text.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pj::install {

enum class RecordEncoding {
    Ansi,    // the ANSI code page on Windows, UTF-8 on POSIX; no mark
    Utf8Bom, // UTF-8 after the bytes EF BB BF
};

// The bytes of one line in an encoding (without CR LF); nullopt when the
// encoding cannot hold it exactly.
std::optional<std::string> encodeRecordLine(std::string_view utf8, RecordEncoding enc);

// The encoding for a record that will hold `lines` (UTF-8): Ansi when every
// line fits the ANSI code page, else Utf8Bom. nullopt with `error` set when a
// line is over 259 bytes in that encoding or holds a line break or NUL.
std::optional<RecordEncoding> chooseRecordEncoding(const std::vector<std::string>& lines,
                                                   std::string& error);

class RecordWriter {
public:
    RecordWriter() = default;
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;
    ~RecordWriter();

    // Creates the file anew (an old record is replaced) and writes the mark
    // of Utf8Bom. false with `error` on failure.
    bool open(const fs::path& file, RecordEncoding enc, std::string& error);
    // One line and CR LF, flushed to the file at once so the record always
    // lists what exists. A line the encoding cannot hold, or one over 259
    // bytes, is refused (false, nothing written).
    bool append(std::string_view utf8Line, std::string& error);
    void close();
    bool isOpen() const { return file_ != nullptr; }

private:
    std::FILE* file_ = nullptr;
    RecordEncoding enc_ = RecordEncoding::Ansi;
};

struct RecordContents {
    RecordEncoding encoding = RecordEncoding::Ansi;
    // Line 1; empty when the record has no complete first line.
    std::string group;
    bool hasGroup = false;
    // Every later complete line, decoded to UTF-8, in file order.
    std::vector<std::string> files;
    // Lines that were not taken, each with its reason (Chinese, for the user).
    std::vector<std::string> problems;
};

// Reads a record's bytes. Lines are ended by LF, a CR before it is dropped.
// Bytes after the last LF are not a line (a torn write is not trusted); a line
// over 259 bytes, one with a NUL, or one the encoding cannot decode is
// skipped and reported, never cut. Empty lines are passed over.
RecordContents parseRecord(std::string_view bytes);

// nullopt when the file cannot be read.
std::optional<RecordContents> readRecord(const fs::path& file);

} // namespace pj::install
