// projector-cli's command line and console on Windows. The C runtime's argv
// holds the command line in the ANSI code page, where Chinese text that the
// code page lacks becomes '?'; the wide command line holds it whole. Output
// to a console goes as UTF-16, so it does not depend on the console's code
// page either.

#include "cli/win32/console_win32.h"

#include "cli/console.h"
#include "link/win32/winapi.h"

#include <shellapi.h>

#include <ostream>

namespace pj::cli {

namespace win32 {

std::string toUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::vector<std::string> commandLineWords(const wchar_t* commandLine) {
    std::vector<std::string> out;
    int count = 0;
    // An empty line would give the path of the running program instead.
    if (commandLine == nullptr || *commandLine == L'\0')
        return out;
    LPWSTR* words = CommandLineToArgvW(commandLine, &count);
    if (words == nullptr)
        return out;
    for (int i = 0; i < count; ++i)
        out.push_back(toUtf8(words[i]));
    LocalFree(words);
    return out;
}

std::size_t completeUtf8Prefix(std::string_view text) {
    // Look back at most 3 bytes for the start of a sequence that is cut off.
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(text[n - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        std::size_t length = 1;
        if ((c & 0xE0) == 0xC0)
            length = 2;
        else if ((c & 0xF0) == 0xE0)
            length = 3;
        else if ((c & 0xF8) == 0xF0)
            length = 4;
        return length > back ? n - back : n;
    }
    return n;
}

HandleStreamBuf::HandleStreamBuf(void* handle)
    : handle_(handle) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(static_cast<HANDLE>(handle_), &mode) != 0;
}

HandleStreamBuf::~HandleStreamBuf() {
    flush(true);
}

HandleStreamBuf::int_type HandleStreamBuf::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof()))
        return flush(false) ? traits_type::not_eof(ch) : traits_type::eof();
    pending_ += traits_type::to_char_type(ch);
    if (ch == '\n' || pending_.size() >= 4096)
        flush(false);
    return ch;
}

std::streamsize HandleStreamBuf::xsputn(const char* s, std::streamsize n) {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.find('\n') != std::string::npos || pending_.size() >= 4096)
        flush(false);
    return n;
}

int HandleStreamBuf::sync() {
    return flush(false) ? 0 : -1;
}

bool HandleStreamBuf::flush(bool all) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
        pending_.clear();
        return true;
    }
    const std::size_t ready = all ? pending_.size() : completeUtf8Prefix(pending_);
    if (ready == 0)
        return true;
    const std::string_view text(pending_.data(), ready);
    bool ok = true;
    const auto h = static_cast<HANDLE>(handle_);
    if (console_) {
        const int size = static_cast<int>(text.size());
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0)
            MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
            if (!WriteConsoleW(h, wide.data() + done, chunk, &written, nullptr) || written == 0) {
                ok = false;
                break;
            }
            done += written;
        }
    } else {
        for (std::size_t done = 0; done < text.size();) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 65536));
            if (!WriteFile(h, text.data() + done, chunk, &written, nullptr) || written == 0) {
                ok = false;
                break;
            }
            done += written;
        }
    }
    pending_.erase(0, ready);
    return ok;
}

} // namespace win32

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    auto words = win32::commandLineWords(GetCommandLineW());
    if (words.empty()) // no wide command line: what the C runtime has
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    words.erase(words.begin());
    return words;
}

struct Console::Streams {
    win32::HandleStreamBuf outBuf{GetStdHandle(STD_OUTPUT_HANDLE)};
    win32::HandleStreamBuf errBuf{GetStdHandle(STD_ERROR_HANDLE)};
    std::ostream out{&outBuf};
    std::ostream err{&errBuf};
};

Console::Console()
    : streams_(std::make_unique<Streams>()) {}

Console::~Console() {
    streams_->out.flush();
    streams_->err.flush();
}

std::ostream& Console::out() {
    return streams_->out;
}

std::ostream& Console::err() {
    return streams_->err;
}

} // namespace pj::cli
