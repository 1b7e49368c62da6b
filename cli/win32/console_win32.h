#pragma once
// The Windows pieces of projector-cli's console (console_win32.cpp), open to
// the Windows build's tests.

#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace pj::cli::win32 {

// The words of a Windows command line as CommandLineToArgvW splits it (the
// program's name first), each in UTF-8.
std::vector<std::string> commandLineWords(const wchar_t* commandLine);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string toUtf8(std::wstring_view text);

// How many leading bytes of `text` are whole UTF-8 sequences: an incomplete
// sequence at the end waits for its remaining bytes (at most 3 held back).
// Bytes that can never start or continue a sequence count as whole, so they
// are never held back.
std::size_t completeUtf8Prefix(std::string_view text);

// Writes UTF-8 text to a Windows handle: a console gets it as UTF-16
// (WriteConsoleW), anything else (file, pipe) the bytes themselves. Written
// out at every line end, when full and at sync.
class HandleStreamBuf : public std::streambuf {
public:
    explicit HandleStreamBuf(void* handle);
    ~HandleStreamBuf() override;
    HandleStreamBuf(const HandleStreamBuf&) = delete;
    HandleStreamBuf& operator=(const HandleStreamBuf&) = delete;

    bool isConsole() const { return console_; }

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool flush(bool all);

    void* handle_;
    bool console_ = false;
    std::string pending_;
};

} // namespace pj::cli::win32
