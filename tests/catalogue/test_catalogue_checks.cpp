// The input rules of checks.h, value by value, and the exchange file reader
// applying them with the line number: names, texts from outside, speeds,
// slots, parities, codes; what a leading U+FEFF, invalid UTF-8, NUL and
// other control characters do; files that are no files or too large.

#include "catalogue/checks.h"
#include "catalogue/csvformat.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace pj::catalogue {
namespace {

// UTF-8 source text as it is: QString::fromUtf8 would drop a leading U+FEFF.
QString u(const char* utf8) {
    return *textFromUtf8(utf8, QString());
}

ErrorCode codeOf(const Status& s) {
    EXPECT_FALSE(s);
    return s ? ErrorCode::Database : s.error().code;
}

TEST(Checks, NamesEmptyBlankOrWithControlCharactersAreRefused) {
    EXPECT_TRUE(checkCompanyName(u("爱普生 Epson")));
    EXPECT_TRUE(checkModelName(u("EB-X \"1\", 'quoted'; --")));
    for (const QString& blank : {QString(), u(" "), u("\t"), u("\u3000"), u(" \u00a0 ")}) {
        EXPECT_EQ(codeOf(checkCompanyName(blank)), ErrorCode::EmptyCompanyName);
        EXPECT_EQ(checkCompanyName(blank).error().message, u("请填写公司名称！"));
        EXPECT_EQ(codeOf(checkModelName(blank)), ErrorCode::EmptyModelName);
        EXPECT_EQ(checkModelName(blank).error().message, u("请填写型号！"));
    }
    EXPECT_TRUE(checkKeyName(QString())); // a key may be nameless
    for (const QString& bad :
         {u("a\nb"), u("a\rb"), u("a\tb"), QString(QChar(0)) + u("x"), u("\x1b[2Jclear"),
          u("del\x7f"), u("c1\u0085"), u("line\u2028sep"), u("para\u2029sep")}) {
        for (const Status& s : {checkCompanyName(bad), checkModelName(bad), checkKeyName(bad)}) {
            EXPECT_EQ(codeOf(s), ErrorCode::BadText) << bad.toStdString();
            EXPECT_TRUE(s.error().message.contains(u("控制字符")));
        }
    }
    EXPECT_TRUE(checkCompanyName(u("\x1b")).error().message.contains(u("U+001B")));
    // An unpaired surrogate cannot be stored as UTF-8.
    const QString lone = u("a") + QChar(0xD800) + u("b");
    EXPECT_EQ(codeOf(checkModelName(lone)), ErrorCode::BadText);
    EXPECT_EQ(codeOf(checkModelName(u("\uffffz"))), ErrorCode::BadText);
    EXPECT_EQ(codeOf(checkDescription(u("\ufffez"))), ErrorCode::BadText);
    // A leading U+FEFF is a character like any other.
    EXPECT_TRUE(checkCompanyName(u("\ufeffAcme")));
    EXPECT_TRUE(checkCompanyName(u("\ufeff")));
}

TEST(Checks, NamesCountCharactersNotBytesOrUnits) {
    const QString fifty = QString(49, QChar(0x578B)) + u("😀"); // a non-BMP character counts once
    EXPECT_TRUE(checkModelName(fifty));
    EXPECT_EQ(codeOf(checkModelName(fifty + u("x"))), ErrorCode::TooLong);
    EXPECT_TRUE(checkDescription(QString(kMaxDescriptionLength, QChar(0x5907))));
    EXPECT_EQ(codeOf(checkDescription(QString(kMaxDescriptionLength + 1, u'x'))),
              ErrorCode::TooLong);
}

TEST(Checks, DescriptionsKeepLineBreaksButNoOtherControlCharacters) {
    EXPECT_TRUE(checkDescription(u("9600 8N1\r\n\t第二行\u2028")));
    EXPECT_EQ(codeOf(checkDescription(u("colour \x1b[31mred"))), ErrorCode::BadText);
    EXPECT_EQ(codeOf(checkDescription(QString(QChar(0)))), ErrorCode::BadText);
}

TEST(Checks, SpeedsArePositive32BitWholeNumbers) {
    EXPECT_TRUE(checkBaud(1));
    EXPECT_TRUE(checkBaud(kMaxBaud));
    EXPECT_EQ(checkBaud(0).error().message, u("波特率无效"));
    EXPECT_EQ(codeOf(checkBaud(-1)), ErrorCode::BadBaud);
    EXPECT_EQ(checkBaud(kMaxBaud + 1).error().message, u("波特率超出范围"));
    EXPECT_EQ(*parseBaudText(u("9600")), 9600u);
    EXPECT_EQ(*parseBaudText(u(" 115200 ")), 115200u);
    EXPECT_EQ(*parseBaudText(u("2147483647")), 2147483647u);
    for (const char* bad :
         {"abc", "", " ", "0", "00", "-9600", "+9600", "9600.0", "9 600", "０", "1e4", "0x2580"}) {
        auto r = parseBaudText(u(bad));
        ASSERT_FALSE(r) << bad;
        EXPECT_EQ(r.error().message, u("波特率无效")) << bad;
    }
    for (const char* big : {"2147483648", "4294967296", "99999999999999999999999"}) {
        auto r = parseBaudText(u(big));
        ASSERT_FALSE(r) << big;
        EXPECT_EQ(r.error().code, ErrorCode::BadBaud);
    }
}

TEST(Checks, SlotsParitiesAndCodes) {
    EXPECT_TRUE(checkSlot(0));
    EXPECT_TRUE(checkSlot(17));
    EXPECT_EQ(codeOf(checkSlot(18)), ErrorCode::BadSlot);
    EXPECT_EQ(codeOf(checkSlot(-1)), ErrorCode::BadSlot);
    EXPECT_TRUE(checkParity(2));
    EXPECT_EQ(codeOf(checkParity(3)), ErrorCode::BadParity);
    EXPECT_EQ(*checkCodeText(u("AT"), true), u("41 54 0d"));
    EXPECT_EQ(*checkCodeText(u("a0 01h0d"), false), u("a0 01h0d")); // hex stored as typed
    EXPECT_FALSE(checkCodeText(QString(), false));                  // a typed code holds a byte
    EXPECT_FALSE(checkCodeText(u("PWR\nON"), true));
    EXPECT_FALSE(checkCodeText(u("开机"), true));
    EXPECT_TRUE(checkStoredCode(QString())); // a stored row may be empty
    EXPECT_EQ(codeOf(checkStoredCode(u("a0 1"))), ErrorCode::BadCode);
    EXPECT_EQ(codeOf(checkStoredCode(QString(128, u'a') + u("a"))), ErrorCode::BadCode);
}

TEST(Checks, TextFromOutsideIsStrictUtf8AndKeepsEveryCharacter) {
    EXPECT_EQ(*textFromUtf8("\xEF\xBB\xBF"
                            "Acme",
                            u("名称")),
              u("\ufeffAcme"));
    EXPECT_EQ(*textFromUtf8("\xE4\xB8\xAD", u("名称")), u("中"));
    for (const QByteArray& bad : {QByteArray("bad\xff\xfename"), QByteArray("\xc0\xaf"),
                                  QByteArray("\xed\xa0\x80"), QByteArray("cut\xe4\xb8")}) {
        auto r = textFromUtf8(bad, u("公司名称"));
        ASSERT_FALSE(r) << bad.toHex().toStdString();
        EXPECT_EQ(r.error().code, ErrorCode::BadText);
        EXPECT_EQ(r.error().message, u("公司名称不是有效的 UTF-8 文本"));
    }
}

TEST(Checks, TheFirstFaultOfAModelSaysWhichValueAndRow) {
    ModelInput m;
    m.name = u("EB-X");
    m.baud = 9600;
    m.keys = {{u("开机"), 0, u("a0 01")}, {u("关机"), 1, u("a0 02")}, {u("x"), 2, u("a0 03")}};
    EXPECT_FALSE(findInputFault(m));
    const auto fault = [](const ModelInput& in) {
        auto f = findInputFault(in);
        EXPECT_TRUE(f);
        return f ? *f : InputFault{InputField::ModelName, -2, {ErrorCode::Database, {}}};
    };
    ModelInput bad = m;
    bad.keys[1].code = u("a0 0");
    EXPECT_EQ(fault(bad).field, InputField::KeyCode);
    EXPECT_EQ(fault(bad).keyRow, 1);
    EXPECT_EQ(fault(bad).error.message, u("功能码格式错误"));
    bad = m;
    bad.keys[2].function = u("tab\there");
    EXPECT_EQ(fault(bad).field, InputField::KeyName);
    EXPECT_EQ(fault(bad).keyRow, 2);
    bad = m;
    bad.keys[0].slot = 18;
    EXPECT_EQ(fault(bad).field, InputField::KeySlot);
    EXPECT_EQ(fault(bad).keyRow, 0);
    bad = m;
    bad.baud = 0;
    EXPECT_EQ(fault(bad).field, InputField::Baud);
    EXPECT_EQ(fault(bad).error.message, u("波特率无效"));
    bad.name = u("  ");
    EXPECT_EQ(fault(bad).field, InputField::ModelName); // the first field first
    bad = m;
    bad.parity = 5;
    EXPECT_EQ(fault(bad).field, InputField::Parity);
    bad = m;
    bad.description = u("\x07");
    EXPECT_EQ(fault(bad).field, InputField::Description);
    EXPECT_EQ(CatalogueDb::validateModelInput(bad).error().code, ErrorCode::BadText);
}

// ---- the exchange file ------------------------------------------------------

const QByteArray kHeader = "kind,company,model,baud,parity,ascii,description,function,slot,"
                           "code\r\n";

QString importError(const QByteArray& data) {
    auto r = readCatalogueCsv(data);
    EXPECT_FALSE(r);
    return r ? QString() : r.error().message;
}

TEST(CsvImport, OnlyAByteOrderMarkAtTheVeryStartIsOne) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray body = "company," + bom +
                            "Acme,,,,,,,,\r\n"
                            "model," +
                            bom + "Acme," + bom + "M,9600,0,0," + bom +
                            "d,,,\r\n"
                            "key," +
                            bom + "Acme," + bom + "M,,,,," + bom + "k,0,aa\r\n";
    auto r = readCatalogueCsv(bom + kHeader + body);
    ASSERT_TRUE(r) << r.error().message.toStdString();
    ASSERT_EQ(r->companies.size(), 1u);
    EXPECT_EQ(r->companies[0], u("\ufeffAcme"));
    EXPECT_EQ(r->models[0].input.name, u("\ufeffM"));
    EXPECT_EQ(r->models[0].input.description, u("\ufeffd"));
    EXPECT_EQ(r->models[0].input.keys[0].function, u("\ufeffk"));
    // Written back, a file without its own mark reads the same.
    EXPECT_EQ(readCatalogueCsv(writeCatalogueCsv(*r))->companies[0], u("\ufeffAcme"));
    // A mark before a record's kind is no mark: the kind is unknown.
    EXPECT_TRUE(importError(kHeader + bom + "company,A,,,,,,,,\r\n").contains(u("第 2 行")));
}

TEST(CsvImport, InvalidUtf8NulAndControlCharactersAreRefusedWithTheLine) {
    const QByteArray good = kHeader + "company,A,,,,,,,,\r\n";
    EXPECT_TRUE(readCatalogueCsv(good));
    const QString invalid = importError(good + "company,bad\xff\xfename,,,,,,,,\r\n");
    EXPECT_TRUE(invalid.contains(u("第 3 行"))) << invalid.toStdString();
    EXPECT_TRUE(invalid.contains(u("UTF-8")));
    const QString nul =
        importError(good + "model,A,M" + QByteArray(1, '\0') + "x,9600,0,0,,,,\r\n");
    EXPECT_TRUE(nul.contains(u("第 3 行"))) << nul.toStdString();
    EXPECT_TRUE(nul.contains(u("U+0000")));
    EXPECT_TRUE(importError(good + "company,\"two\nlines\",,,,,,,,\r\n").contains(u("第 3 行")));
    EXPECT_TRUE(importError(good + "company,\x1b[2J,,,,,,,,\r\n").contains(u("控制字符")));
    // A description may span lines; the next record's line number follows it.
    const QString after =
        importError(good + "model,A,M,9600,0,0,\"one\r\ntwo\",,,\r\nkey,A,M,,,,,k,18,aa\r\n");
    EXPECT_TRUE(after.contains(u("第 5 行"))) << after.toStdString();
}

TEST(CsvImport, EmptyNamesZeroSpeedsAndOutOfRangeValuesAreRefusedWithTheLine) {
    EXPECT_TRUE(importError(kHeader + "company,,,,,,,,,\r\n").contains(u("请填写公司名称！")));
    EXPECT_TRUE(importError(kHeader + "company,   ,,,,,,,,\r\n").contains(u("第 2 行")));
    const QByteArray company = kHeader + "company,A,,,,,,,,\r\n";
    EXPECT_TRUE(importError(company + "model,A,,9600,0,0,,,,\r\n").contains(u("请填写型号！")));
    EXPECT_TRUE(importError(company + "model,A,M,0,0,0,,,,\r\n").contains(u("波特率无效")));
    EXPECT_TRUE(importError(company + "model,A,M,-1,0,0,,,,\r\n").contains(u("第 3 行")));
    EXPECT_TRUE(importError(company + "model,A,M,4294967295,0,0,,,,\r\n").contains(u("第 3 行")));
    EXPECT_TRUE(importError(company + "model,A,M,9600,3,0,,,,\r\n").contains(u("第 3 行")));
    const QByteArray model = company + "model,A,M,9600,0,0,,,,\r\n";
    EXPECT_TRUE(importError(model + "key,A,M,,,,,k,256,aa\r\n").contains(u("第 4 行")));
    EXPECT_TRUE(importError(model + "key,A,M,,,,,k,1,zz\r\n").contains(u("功能码格式错误")));
    EXPECT_TRUE(readCatalogueCsv(model + "key,A,M,,,,,,17,\r\n")); // nameless key, empty code
}

TEST(CsvImport, TheReaderStopsAtItsLimitAndRefusesOverlongFields) {
    // A stream longer than the limit is refused, not read on.
    QByteArray data = kHeader;
    while (data.size() < 4096)
        data += "company,A" + QByteArray::number(data.size()) + ",,,,,,,,\r\n";
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    CsvReader reader(in, 1000);
    std::vector<QByteArray> fields;
    int line = 0;
    CsvReader::Next n;
    int records = 0;
    while ((n = reader.next(fields, line)) == CsvReader::Next::Record)
        ++records;
    EXPECT_EQ(n, CsvReader::Next::Error);
    EXPECT_LT(records, 50);
    EXPECT_TRUE(reader.errorText().contains(u("MiB")));
    EXPECT_LE(in.pos(), 1001);

    const QByteArray longField(kMaxCsvFieldBytes + 1, 'x');
    EXPECT_TRUE(importError(kHeader + "company," + longField + ",,,,,,,,\r\n").contains(u("字段")));
}

TEST(CsvImport, OnlyRegularFilesUpToTheLimitAreOpened) {
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(readCatalogueCsvFile(dir.path())); // a folder
    // Devices and named pipes that open as files: POSIX only.
#ifndef Q_OS_WIN
    for (const char* device : {"/dev/zero", "/dev/urandom"}) {
        auto r = readCatalogueCsvFile(QString::fromLatin1(device));
        ASSERT_FALSE(r);
        EXPECT_TRUE(r.error().message.contains(u("不是普通文件")));
    }
    const QString fifo = dir.filePath(u("pipe.csv"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    auto pipe = readCatalogueCsvFile(fifo); // would block if it were opened
    ASSERT_FALSE(pipe);
    EXPECT_TRUE(pipe.error().message.contains(u("不是普通文件")));
#endif
    // A sparse file just over the limit is refused by its size, unread.
    const QString big = dir.filePath(u("big.csv"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(kMaxCsvBytes + 1));
    }
    auto tooBig = readCatalogueCsvFile(big);
    ASSERT_FALSE(tooBig);
    EXPECT_TRUE(tooBig.error().message.contains(u("256 MiB")));
    EXPECT_LT(t.elapsed(), 20000);
    EXPECT_FALSE(readCatalogueCsvFile(dir.filePath(u("missing.csv"))));
}

} // namespace
} // namespace pj::catalogue
