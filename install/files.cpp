#include "install/files.h"

#include <cstdio>

namespace pj::install {

bool writeWholeFile(const fs::path& file, std::span<const std::byte> bytes, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        error = "无法写入文件（同名文件夹已存在）：" + utf8FromPath(file);
        return false;
    }
    std::FILE* f = openFileForWriting(file);
    if (!f) {
        error = "无法写入文件：" + utf8FromPath(file);
        return false;
    }
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        fs::remove(file, ec);
        error = "无法写入文件（磁盘已满？）：" + utf8FromPath(file);
        return false;
    }
    return true;
}

} // namespace pj::install
