#include "install/record.h"

#include "install/files.h"
#include "install/product.h"

#include <fstream>
#include <iterator>

namespace pj::install {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string lineNo(std::size_t n) {
    return std::to_string(n);
}

} // namespace

std::optional<std::string> encodeRecordLine(std::string_view utf8, RecordEncoding enc) {
    if (enc == RecordEncoding::Utf8Bom) {
        if (!isValidUtf8(utf8))
            return std::nullopt;
        return std::string(utf8);
    }
    return utf8ToAnsi(utf8);
}

std::optional<RecordEncoding> chooseRecordEncoding(const std::vector<std::string>& lines,
                                                   std::string& error) {
    for (const auto& line : lines) {
        if (hasLineBreakOrNul(line)) {
            error = "路径中含有换行或空字符：" + line;
            return std::nullopt;
        }
    }
    RecordEncoding enc = RecordEncoding::Ansi;
    if (recordsPreferAnsi()) {
        for (const auto& line : lines) {
            if (!encodeRecordLine(line, RecordEncoding::Ansi)) {
                enc = RecordEncoding::Utf8Bom;
                break;
            }
        }
    }
    for (const auto& line : lines) {
        const auto bytes = encodeRecordLine(line, enc);
        if (!bytes) {
            error = "路径无法记录：" + line;
            return std::nullopt;
        }
        if (bytes->size() > kMaxRecordLineBytes) {
            error = "路径太长（安装记录每行最多 " + std::to_string(kMaxRecordLineBytes) +
                    " 字节）：" + line;
            return std::nullopt;
        }
    }
    return enc;
}

RecordWriter::~RecordWriter() {
    close();
}

bool RecordWriter::open(const fs::path& file, RecordEncoding enc, std::string& error) {
    close();
    file_ = openFileForWriting(file);
    if (!file_) {
        error = "无法创建安装记录：" + utf8FromPath(file);
        return false;
    }
    enc_ = enc;
    if (enc == RecordEncoding::Utf8Bom &&
        (std::fwrite(kBom.data(), 1, kBom.size(), file_) != kBom.size() ||
         std::fflush(file_) != 0)) {
        error = "无法写入安装记录：" + utf8FromPath(file);
        close();
        return false;
    }
    return true;
}

bool RecordWriter::append(std::string_view utf8Line, std::string& error) {
    if (!file_) {
        error = "安装记录未打开";
        return false;
    }
    if (hasLineBreakOrNul(utf8Line)) {
        error = "路径中含有换行或空字符：" + std::string(utf8Line);
        return false;
    }
    auto bytes = encodeRecordLine(utf8Line, enc_);
    if (!bytes) {
        error = "路径无法记录：" + std::string(utf8Line);
        return false;
    }
    if (bytes->size() > kMaxRecordLineBytes) {
        error = "路径太长（安装记录每行最多 " + std::to_string(kMaxRecordLineBytes) + " 字节）：" +
                std::string(utf8Line);
        return false;
    }
    bytes->append("\r\n");
    if (std::fwrite(bytes->data(), 1, bytes->size(), file_) != bytes->size() ||
        std::fflush(file_) != 0) {
        error = "无法写入安装记录";
        return false;
    }
    return true;
}

void RecordWriter::close() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

RecordContents parseRecord(std::string_view bytes) {
    RecordContents out;
    if (bytes.substr(0, kBom.size()) == kBom) {
        out.encoding = RecordEncoding::Utf8Bom;
        bytes.remove_prefix(kBom.size());
    }
    std::size_t lineIndex = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lf = bytes.find('\n', pos);
        ++lineIndex;
        if (lf == std::string_view::npos) {
            out.problems.push_back("安装记录第 " + lineNo(lineIndex) + " 行没有行尾，已跳过");
            break;
        }
        std::string_view raw = bytes.substr(pos, lf - pos);
        pos = lf + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        std::optional<std::string> text;
        if (raw.size() > kMaxRecordLineBytes) {
            out.problems.push_back("安装记录第 " + lineNo(lineIndex) + " 行超过 " +
                                   std::to_string(kMaxRecordLineBytes) + " 字节，已跳过");
        } else if (raw.find('\0') != std::string_view::npos ||
                   raw.find('\r') != std::string_view::npos) {
            out.problems.push_back("安装记录第 " + lineNo(lineIndex) + " 行含有控制字符，已跳过");
        } else {
            text = out.encoding == RecordEncoding::Utf8Bom
                       ? (isValidUtf8(raw) ? std::optional<std::string>(std::string(raw))
                                           : std::nullopt)
                       : ansiToUtf8(raw);
            if (!text)
                out.problems.push_back("安装记录第 " + lineNo(lineIndex) + " 行无法解码，已跳过");
        }
        if (lineIndex == 1) {
            if (text) {
                out.group = *text;
                out.hasGroup = true;
            }
            continue;
        }
        if (text && !text->empty())
            out.files.push_back(std::move(*text));
    }
    return out;
}

std::optional<RecordContents> readRecord(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return parseRecord(bytes);
}

} // namespace pj::install
