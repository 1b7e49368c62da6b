// The carried files: the payload index and its names, and the container the
// POSIX setup appends to its own program file.
#include "install_test_support.h"

#include "install/container.h"

using namespace pj::install;
using namespace pj::install::testing;

TEST(PayloadIndex, roundTripsInOrder) {
    const std::vector<PayloadEntry> entries{
        {3001, "PROJECTOR.exe"}, {3004, "projector.mdb"}, {3005, "platforms/qwindows.dll"}};
    std::string error;
    const auto back = parsePayloadIndex(formatPayloadIndex(entries), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, entries);
}

TEST(PayloadIndex, unsafeNamesDuplicatesAndMissingProgramAreRefused) {
    for (const char* bad : {"../x", "a/../../x", "/etc/passwd", "C:\\Windows\\x", "a\\b", "a//b",
                            "./a", "a/", "", "a\x01"}) {
        EXPECT_FALSE(isSafeRelativeName(bad)) << bad;
        std::string error;
        EXPECT_FALSE(parsePayloadIndex("3001\tPROJECTOR\n3005\t" + std::string(bad) + "\n", error))
            << bad;
    }
    EXPECT_TRUE(isSafeRelativeName("plugins/platforms/qxcb.so"));
    std::string error;
    EXPECT_FALSE(parsePayloadIndex("3001\ta\n3001\tb\n", error));
    EXPECT_FALSE(parsePayloadIndex("3001\tA.dll\n3005\ta.DLL\n", error)); // one file on Windows
    EXPECT_FALSE(parsePayloadIndex("3004\tprojector.mdb\n", error));
    EXPECT_NE(error.find("主程序"), std::string::npos);
    EXPECT_FALSE(parsePayloadIndex("x3001\ta\n", error));
    EXPECT_FALSE(parsePayloadIndex("100\ta\n3001\tb\n", error)); // not a product number
}

TEST(Container, carriesEveryResourceAfterTheProgram) {
    TempDir dir;
    writeFile(dir.path() / "program", "ELF program");
    writeFile(dir.path() / "a", "first");
    writeFile(dir.path() / "b", "");
    writeFile(dir.path() / "c", std::string(100000, 'c'));
    std::string error;
    ASSERT_TRUE(writeContainerFile(
        dir.path() / "setup", dir.path() / "program",
        {{3001, dir.path() / "a"}, {3002, dir.path() / "b"}, {3000, dir.path() / "c"}}, error))
        << error;
    const std::string image = readFile(dir.path() / "setup");
    EXPECT_EQ(image.substr(0, 11), "ELF program");
    const auto view = ContainerView::parse(std::as_bytes(std::span(image.data(), image.size())));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->payloadStart(), 11u);
    auto text = [&](int n) {
        const auto r = view->resource(n);
        return r ? std::string(reinterpret_cast<const char*>(r->data()), r->size()) : "<absent>";
    };
    EXPECT_EQ(text(3001), "first");
    EXPECT_EQ(text(3002), "");
    EXPECT_EQ(text(3000), std::string(100000, 'c'));
    EXPECT_EQ(text(3004), "<absent>");
    EXPECT_FALSE(writeContainerFile(dir.path() / "x", dir.path() / "absent", {}, error));
}

TEST(Container, truncatedOrForeignFilesHaveNoPayload) {
    TempDir dir;
    writeFile(dir.path() / "program", "program");
    writeFile(dir.path() / "a", "payload bytes");
    std::string error;
    ASSERT_TRUE(writeContainerFile(dir.path() / "setup", dir.path() / "program",
                                   {{3001, dir.path() / "a"}}, error));
    const std::string image = readFile(dir.path() / "setup");
    auto parses = [](const std::string& s) {
        return ContainerView::parse(std::as_bytes(std::span(s.data(), s.size()))).has_value();
    };
    EXPECT_TRUE(parses(image));
    EXPECT_FALSE(parses("program"));
    EXPECT_FALSE(parses(image.substr(1, image.size() - 2)));
    std::string corrupt = image;
    corrupt[corrupt.size() - 24] = '\x7f'; // payload size beyond the file
    EXPECT_FALSE(parses(corrupt));
    std::string badTable = image;
    badTable[image.size() - 24 - 20 + 4] = '\x50'; // resource offset past the table
    EXPECT_FALSE(parses(badTable));
}
