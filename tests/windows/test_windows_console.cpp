// projector-cli's Windows command line and console: wide words in UTF-8,
// UTF-8 sequences never cut between two writes, bytes to files unchanged.

#include "cli/console.h"
#include "cli/win32/console_win32.h"
#include "link/win32/winapi.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace pj::cli::win32;

namespace {

const std::string kRoom = "\xE6\x95\x99\xE5\xAE\xA4"; // 教室 in UTF-8

// A file of its own in the temporary folder, removed afterwards.
class TempFile {
public:
    TempFile() {
        wchar_t dir[MAX_PATH];
        wchar_t name[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        GetTempFileNameW(dir, L"pjc", 0, name);
        path_ = name;
    }
    ~TempFile() { DeleteFileW(path_.c_str()); }
    HANDLE openForWriting() const {
        return CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string contents() const {
        HANDLE h = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::string out;
        char buf[512];
        DWORD n = 0;
        while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
            out.append(buf, n);
        CloseHandle(h);
        return out;
    }

private:
    std::wstring path_;
};

} // namespace

TEST(WindowsCommandLine, ChineseWordsArriveWholeInUtf8) {
    const auto words =
        commandLineWords(L"projector-cli.exe card --number \u6559\u5BA4101 --port COM3");
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[0], "projector-cli.exe");
    EXPECT_EQ(words[3], kRoom + "101");
    EXPECT_EQ(words[5], "COM3");
}

TEST(WindowsCommandLine, QuotesAndBackslashesFollowTheWindowsRules) {
    const auto words = commandLineWords(
        L"\"C:\\Program Files\\PROJECTOR\\projector-cli.exe\" catalogue add-company "
        L"\"\u6D77 \u7F8E\" a\\\\\\\"b \"\"");
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[0], "C:\\Program Files\\PROJECTOR\\projector-cli.exe");
    EXPECT_EQ(words[3], "\xE6\xB5\xB7 \xE7\xBE\x8E"); // one word, space kept
    EXPECT_EQ(words[4], "a\\\"b");
    EXPECT_EQ(words[5], ""); // an empty argument stays one
    EXPECT_TRUE(commandLineWords(L"").empty());
}

TEST(WindowsCommandLine, TheProgramsArgumentsComeFromTheWideCommandLine) {
    // Whatever the C runtime's argv holds, the words are the wide line's.
    char name[] = "x.exe";
    char question[] = "??101";
    char* argv[] = {name, question, nullptr};
    const auto args = pj::cli::commandLineArguments(2, argv);
    const auto words = commandLineWords(GetCommandLineW());
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(args, std::vector<std::string>(words.begin() + 1, words.end()));
}

TEST(WindowsText, Utf16ToUtf8KeepsEveryPlaneAndMarksBrokenSurrogates) {
    EXPECT_EQ(toUtf8(L"\u6559\u5BA4"), kRoom);
    EXPECT_EQ(toUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xD83D))), "\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(L""), "");
}

TEST(WindowsText, AnIncompleteUtf8SequenceAtTheEndIsHeldBack) {
    EXPECT_EQ(completeUtf8Prefix("abc"), 3u);
    EXPECT_EQ(completeUtf8Prefix(kRoom), 6u);
    EXPECT_EQ(completeUtf8Prefix(kRoom.substr(0, 4)), 3u); // 室 cut after its lead byte
    EXPECT_EQ(completeUtf8Prefix(kRoom.substr(0, 5)), 3u); // ... and after two bytes
    EXPECT_EQ(completeUtf8Prefix("a\xF0\x9F\x98"), 1u);    // a 4-byte sequence cut
    EXPECT_EQ(completeUtf8Prefix("a\xFF"), 2u);            // never part of a sequence
    EXPECT_EQ(completeUtf8Prefix("\x80\x80\x80\x80"), 4u); // stray continuation bytes
    EXPECT_EQ(completeUtf8Prefix(""), 0u);
}

TEST(WindowsConsole, AFileGetsTheUtf8BytesUnchangedEvenWhenASequenceIsSplit) {
    TempFile file;
    HANDLE h = file.openForWriting();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        HandleStreamBuf buf(h);
        EXPECT_FALSE(buf.isConsole());
        std::ostream os(&buf);
        const std::string line =
            "ID\xE5\x8D\xA1\xE5\x8F\xB7\xE5\xB7\xB2\xE5\x86\x99\xE5\x85\xA5: " + kRoom +
            "101\n";                           // ID卡号已写入: 教室101
        os << line.substr(0, 4) << std::flush; // cut inside 卡
        EXPECT_EQ(file.contents(), "ID");      // the cut sequence waits
        os << line.substr(4);
        EXPECT_EQ(file.contents(), line); // a line end writes it out
        os << "no line end";
    } // and the rest at the end
    CloseHandle(h);
    EXPECT_EQ(file.contents().substr(file.contents().size() - 11), "no line end");
}

TEST(WindowsConsole, NoHandleMeansTheTextIsDropped) {
    HandleStreamBuf buf(nullptr);
    std::ostream os(&buf);
    os << kRoom << std::endl;
    EXPECT_TRUE(os.good());
    EXPECT_FALSE(buf.isConsole());
}
