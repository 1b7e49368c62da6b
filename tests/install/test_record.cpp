// The install record: encoding choice, CR LF lines, the 259-byte limit
// (refused, never cut), reading both encodings, torn and damaged lines; and
// the digests kept beside it.
#include "install_test_support.h"

#include "install/digest.h"
#include "install/record.h"

using namespace pj::install;
using namespace pj::install::testing;
using namespace std::string_literals;

namespace {

// A character no ANSI code page of the product's machines holds (Thai).
const std::string kForeign = "\xE0\xB8\xA0";
const std::string kTitle(kProductTitle);

RecordEncoding expectedForTitle() {
    return !recordsPreferAnsi() || utf8ToAnsi(kTitle) ? RecordEncoding::Ansi
                                                      : RecordEncoding::Utf8Bom;
}

} // namespace

TEST(RecordWrite, linesEndInCrLfInOrderOfCreation) {
    TempDir dir;
    const fs::path file = dir.path() / "qR.ini";
    std::string error;
    const std::vector<std::string> lines{kTitle, "/x/PROJECTOR.exe", "/x/projector.mdb"};
    const auto enc = chooseRecordEncoding(lines, error);
    ASSERT_TRUE(enc) << error;
    EXPECT_EQ(*enc, expectedForTitle());
    RecordWriter w;
    ASSERT_TRUE(w.open(file, *enc, error)) << error;
    for (const auto& l : lines)
        ASSERT_TRUE(w.append(l, error)) << error;
    w.close();
    const std::string bytes = readFile(file);
    std::string expected = *enc == RecordEncoding::Utf8Bom ? "\xEF\xBB\xBF" : "";
    for (const auto& l : lines)
        expected += *encodeRecordLine(l, *enc) + "\r\n";
    EXPECT_EQ(bytes, expected);

    const auto back = readRecord(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->encoding, *enc);
    EXPECT_TRUE(back->hasGroup);
    EXPECT_EQ(back->group, kTitle);
    EXPECT_EQ(back->files, (std::vector<std::string>{"/x/PROJECTOR.exe", "/x/projector.mdb"}));
    EXPECT_TRUE(back->problems.empty());
}

TEST(RecordWrite, lineTheCodePageCannotHoldMakesUtf8WithMark) {
    std::string error;
    const auto plainEnc = chooseRecordEncoding({"Vantor", "/x/a"}, error);
    ASSERT_TRUE(plainEnc);
    EXPECT_EQ(*plainEnc, RecordEncoding::Ansi); // ASCII fits every code page

    const auto foreignEnc = chooseRecordEncoding({"Vantor", "/x/" + kForeign}, error);
    ASSERT_TRUE(foreignEnc);
    if (recordsPreferAnsi()) {
        EXPECT_EQ(*foreignEnc, RecordEncoding::Utf8Bom);
        EXPECT_FALSE(encodeRecordLine("/x/" + kForeign, RecordEncoding::Ansi));
    } else {
        EXPECT_EQ(*foreignEnc, RecordEncoding::Ansi); // POSIX: UTF-8 without a mark
    }

    TempDir dir;
    RecordWriter w;
    ASSERT_TRUE(w.open(dir.path() / "qR.ini", *foreignEnc, error));
    ASSERT_TRUE(w.append("Vantor", error));
    ASSERT_TRUE(w.append("/x/" + kForeign, error));
    w.close();
    const auto back = readRecord(dir.path() / "qR.ini");
    ASSERT_TRUE(back);
    ASSERT_EQ(back->files.size(), 1u);
    EXPECT_EQ(back->files[0], "/x/" + kForeign); // not garbled into question marks
}

TEST(RecordWrite, lineOf259BytesFitsAndOneMoreIsRefusedNotCut) {
    std::string fits(259, 'a');
    fits[0] = '/';
    std::string tooLong = fits;
    tooLong.push_back('b');
    std::string error;
    EXPECT_TRUE(chooseRecordEncoding({"Vantor", fits}, error)) << error;
    EXPECT_FALSE(chooseRecordEncoding({"Vantor", tooLong}, error));
    EXPECT_NE(error.find("259"), std::string::npos);

    TempDir dir;
    RecordWriter w;
    ASSERT_TRUE(w.open(dir.path() / "qR.ini", RecordEncoding::Ansi, error));
    EXPECT_TRUE(w.append(fits, error));
    EXPECT_FALSE(w.append(tooLong, error));
    EXPECT_FALSE(w.append("/a\r\nC:\\evil", error)); // a line break would forge a line
    w.close();
    EXPECT_EQ(readFile(dir.path() / "qR.ini"), fits + "\r\n");
}

TEST(RecordRead, tornDamagedAndOverlongLinesAreSkippedAndReported) {
    const std::string longLine(260, 'x');
    const std::string bytes =
        "Vantor\r\n/a/one\r\n\r\n" + longLine + "\r\n/a/two\n/a/with\0nul\r\n"s + "/a/torn";
    const RecordContents r = parseRecord(bytes);
    EXPECT_EQ(r.group, "Vantor");
    EXPECT_EQ(r.files, (std::vector<std::string>{"/a/one", "/a/two"}));
    ASSERT_EQ(r.problems.size(), 3u);
    EXPECT_NE(r.problems[0].find("259"), std::string::npos);
    EXPECT_NE(r.problems[2].find("没有行尾"), std::string::npos);
}

TEST(RecordRead, emptyAndTitleOnlyRecords) {
    const RecordContents empty = parseRecord("");
    EXPECT_FALSE(empty.hasGroup);
    EXPECT_TRUE(empty.files.empty());
    EXPECT_TRUE(empty.problems.empty());

    const RecordContents titleOnly = parseRecord("\xEF\xBB\xBF" + kTitle + "\r\n");
    EXPECT_EQ(titleOnly.encoding, RecordEncoding::Utf8Bom);
    EXPECT_EQ(titleOnly.group, kTitle);
    EXPECT_TRUE(titleOnly.files.empty());

    const RecordContents badUtf8 = parseRecord("\xEF\xBB\xBFVantor\r\n/a/\xC3\r\n");
    EXPECT_TRUE(badUtf8.files.empty());
    ASSERT_EQ(badUtf8.problems.size(), 1u);
}

TEST(RecordRead, ansiRecordOfThisMachineReadsBack) {
    // What an older installation on this machine wrote: ANSI, no mark.
    const auto title = utf8ToAnsi(kTitle);
    if (!title)
        GTEST_SKIP() << "the ANSI code page of this machine has no form for the product title";
    const RecordContents r =
        parseRecord(*title + "\r\n" + *utf8ToAnsi("/x/" + kTitle + "/a") + "\r\n");
    EXPECT_EQ(r.encoding, RecordEncoding::Ansi);
    EXPECT_EQ(r.group, kTitle);
    EXPECT_EQ(r.files, (std::vector<std::string>{"/x/" + kTitle + "/a"}));
}

TEST(Digest, sha256KnownAnswersAndFile) {
    EXPECT_EQ(sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(sha256Hex(std::as_bytes(std::span(abc.data(), abc.size()))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string million(1000000, 'a');
    TempDir dir;
    writeFile(dir.path() / "m", million);
    EXPECT_EQ(sha256OfFile(dir.path() / "m"),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_FALSE(sha256OfFile(dir.path() / "absent"));
}

TEST(Digest, listRoundTripsAndIgnoresDamagedLines) {
    const DigestList list{{"projector.mdb", std::string(64, 'a')}};
    const std::string text = formatDigestList(list);
    EXPECT_EQ(text, std::string(64, 'a') + " projector.mdb\r\n");
    EXPECT_EQ(parseDigestList(text), list);
    EXPECT_TRUE(parseDigestList("zz projector.mdb\r\n" + std::string(64, 'G') + " x\r\n").empty());
}
