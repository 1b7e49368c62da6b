#include "install/payload.h"

#include "install/product.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace pj::install {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

bool isSafeRelativeName(std::string_view name) {
    if (name.empty() || name.front() == '/' || !isValidUtf8(name))
        return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\' || c == ':')
            return false;
    }
    std::size_t pos = 0;
    while (pos <= name.size()) {
        std::size_t end = name.find('/', pos);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view part = name.substr(pos, end - pos);
        if (part.empty() || part == "." || part == "..")
            return false;
        pos = end + 1;
    }
    return true;
}

std::string formatPayloadIndex(const std::vector<PayloadEntry>& entries) {
    std::string out;
    for (const auto& e : entries)
        out += std::to_string(e.resource) + "\t" + e.name + "\n";
    return out;
}

std::optional<std::vector<PayloadEntry>> parsePayloadIndex(std::string_view text,
                                                           std::string& error) {
    std::vector<PayloadEntry> out;
    std::set<int> numbers;
    std::set<std::string> names;
    std::size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const std::size_t tab = line.find('\t');
        const std::string_view num = line.substr(0, tab);
        if (tab == std::string_view::npos || num.empty() || num.size() > 5 ||
            num.find_first_not_of("0123456789") != std::string_view::npos) {
            error = "安装包目录第 " + std::to_string(lineNo) + " 行无效";
            return std::nullopt;
        }
        PayloadEntry e{std::stoi(std::string(num)), std::string(line.substr(tab + 1))};
        if (e.resource < kProgramResource || !isSafeRelativeName(e.name)) {
            error = "安装包目录第 " + std::to_string(lineNo) + " 行无效";
            return std::nullopt;
        }
        if (!numbers.insert(e.resource).second || !names.insert(lowerAscii(e.name)).second) {
            error = "安装包目录第 " + std::to_string(lineNo) + " 行重复";
            return std::nullopt;
        }
        out.push_back(std::move(e));
    }
    if (!numbers.contains(kProgramResource)) {
        error = "安装包中没有主程序";
        return std::nullopt;
    }
    return out;
}

void MemoryPayload::add(int number, std::string_view bytes) {
    const auto* p = reinterpret_cast<const std::byte*>(bytes.data());
    data_[number] = std::vector<std::byte>(p, p + bytes.size());
}

std::optional<std::span<const std::byte>> MemoryPayload::resource(int number) const {
    const auto it = data_.find(number);
    if (it == data_.end())
        return std::nullopt;
    return std::span<const std::byte>(it->second);
}

std::optional<std::vector<PayloadEntry>> loadPayloadIndex(const PayloadSource& source,
                                                          std::string& error) {
    const auto bytes = source.resource(kPayloadIndexResource);
    if (!bytes) {
        error = "安装包不完整：缺少文件目录";
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    return parsePayloadIndex(text, error);
}

} // namespace pj::install
