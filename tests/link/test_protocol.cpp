// Frames, reload values, room block, card frame, echo matching and detection
// answers: the bytes the controller sees and the bytes it sends back.
#include "link/detection.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "link/roomcard.h"
#include "link/sequences.h"

#include <gtest/gtest.h>

#include <limits>

#include <numeric>

using namespace pj::link;

namespace {
Bytes frameBytes(const CodeFrame& f) {
    return Bytes(f.begin(), f.end());
}
} // namespace

// --- editions and reload values -------------------------------------------

TEST(Editions, everyEditionHasItsSpeedsChunkingAndAnswer) {
    struct Want {
        int code;
        ReloadGroup group;
        int baud0, baud1;
        std::optional<Chunking> chunk0, chunk1, chunkTyped;
    };
    const auto C = Chunking::ColonFirst;
    const auto H = Chunking::HeaderFirst;
    const std::optional<Chunking> none;
    const Want want[] = {
        {31, ReloadGroup::A, 1200, 1200, C, C, C},
        {21, ReloadGroup::A, 600, 1200, C, H, none},
        {22, ReloadGroup::B, 600, 1200, C, H, none},
        {2006, ReloadGroup::A, 9600, 9600, C, H, none},
        {2007, ReloadGroup::B, 9600, 9600, C, C, C},
        {2008, ReloadGroup::B, 115200, 115200, C, C, C},
        {2009, ReloadGroup::A, 19200, 19200, C, C, C},
    };
    ASSERT_EQ(controllerEditions().size(), std::size(want));
    for (const auto& w : want) {
        SCOPED_TRACE(w.code);
        const auto* e = findEdition(w.code);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->group, w.group);
        EXPECT_EQ(programmingBaud(w.code, 0), w.baud0);
        EXPECT_EQ(programmingBaud(w.code, 1), w.baud1);
        EXPECT_EQ(chunkingFor(w.code, 0), w.chunk0);
        EXPECT_EQ(chunkingFor(w.code, 1), w.chunk1);
        EXPECT_EQ(chunkingFor(w.code, -1), w.chunkTyped);
        EXPECT_EQ(editionNeedsMachineType(w.code), !w.chunkTyped.has_value());
        // The detection answer leads back to the edition at its programming speed.
        for (int baud : {w.baud0, w.baud1}) {
            const auto byte = answerByteFor(w.code, baud);
            ASSERT_TRUE(byte);
            const auto back = editionForAnswerByte(*byte);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->editionCode, w.code);
            EXPECT_EQ(back->controllerBaud, baud);
        }
    }
    EXPECT_EQ(findEdition(23), nullptr);
    EXPECT_FALSE(programmingBaud(0, 0));
    EXPECT_FALSE(chunkingFor(1999, 0));
}

TEST(Reload, tableForBothGroupsAndSpeedsOutsideIt) {
    struct Row {
        std::uint32_t baud;
        std::uint8_t a;
        std::optional<std::uint8_t> b;
    };
    const Row rows[] = {
        {1200, 0xE0, 0xA0},  {2400, 0xF0, 0xD0},  {4800, 0xF8, 0xE8},  {9600, 0xFC, 0xF4},
        {19200, 0xFE, 0xFA}, {38400, 0xFF, 0xFD}, {57600, 0xFF, 0xFE}, {115200, 0xFF, 0xFF},
        {300, 0xFF, {}},     {600, 0xFF, {}},     {14400, 0xFF, {}},   {0, 0xFF, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.baud);
        for (int a : {21, 31, 2006, 2009})
            EXPECT_EQ(reloadByte(a, r.baud), r.a);
        for (int b : {22, 2007, 2008})
            EXPECT_EQ(reloadByte(b, r.baud), r.b);
    }
    // The group A arithmetic 256 - 38400 / baud holds for every exact row.
    for (std::uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u}) {
        EXPECT_EQ(*reloadByte(21, baud), 256 - 38400 / baud);
        EXPECT_EQ(*reloadByte(22, baud), 256 - 115200 / baud);
    }
    EXPECT_FALSE(reloadByte(77, 9600));
}

TEST(Reload, groupAWarnsOnlyWhereTheLineCannotRunAtTheSpeed) {
    for (std::uint32_t exact : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u})
        EXPECT_FALSE(reloadIsApproximate(2009, exact)) << exact;
    for (std::uint32_t off : {300u, 600u, 57600u, 115200u, 14400u})
        EXPECT_TRUE(reloadIsApproximate(2009, off)) << off;
    EXPECT_FALSE(reloadIsApproximate(2008, 57600)); // group B is exact or refused
    EXPECT_FALSE(reloadIsApproximate(2008, 600));
}

// --- code frames -----------------------------------------------------------

TEST(CodeFrames, layoutWithEmptyFullAndTypicalCodes) {
    const Bytes code{0xA0, 0x01, 0x0D};
    const CodeFrame f = *buildCodeFrame(0xFC, 3, 2, 1, code);
    EXPECT_EQ(f[0], 0x3A);
    EXPECT_EQ(f[1], 0xFC);
    EXPECT_EQ(f[2], 3);
    EXPECT_EQ(f[3], 3);
    EXPECT_EQ((Bytes{f[4], f[5], f[6]}), code);
    for (std::size_t i = 7; i <= 64; ++i)
        ASSERT_EQ(f[i], 0) << i;
    EXPECT_EQ(f[65], 2);
    EXPECT_EQ(f[66], 1);

    const CodeFrame empty = *buildCodeFrame(0xE0, 17, 0, 2, {});
    EXPECT_EQ(empty[2], 0);
    EXPECT_EQ(empty[3], 17);
    EXPECT_TRUE(std::all_of(empty.begin() + 4, empty.begin() + 65, [](auto b) { return b == 0; }));
    EXPECT_EQ(empty[66], 2);

    Bytes full(kMaxCodeBytes);
    std::iota(full.begin(), full.end(), std::uint8_t{0x80});
    const CodeFrame f61 = *buildCodeFrame(0xFF, 0, 1, 1, full);
    EXPECT_EQ(f61[2], 61);
    EXPECT_EQ(f61[4], 0x80);
    EXPECT_EQ(f61[64], 0x80 + 60);
    EXPECT_EQ(f61[65], 1); // parity is not overwritten by the code
}

TEST(CodeFrames, visualizerNumberIsSentAsItsLowByte) {
    const CodeFrame f = *buildCodeFrame(0xFF, 17, 2, 0x1FF, Bytes{1});
    EXPECT_EQ(f[3], 17);
    EXPECT_EQ(f[65], 2);
    EXPECT_EQ(f[66], 0xFF);
}

TEST(CodeFrames, keySlotsOver17ParitiesOver2AndLongCodesMakeNoFrame) {
    // Slot 256 as its low byte would program key 0, slot 274 key 18.
    for (std::uint32_t slot : {18u, 256u, 274u, 0xFFFFFFFFu})
        EXPECT_FALSE(buildCodeFrame(0xFF, slot, 0, 1, Bytes{1})) << slot;
    for (std::uint32_t parity : {3u, 258u})
        EXPECT_FALSE(buildCodeFrame(0xFF, 0, parity, 1, Bytes{1})) << parity;
    EXPECT_FALSE(buildCodeFrame(0xFF, 0, 0, 1, Bytes(kMaxCodeBytes + 1, 0x11)));
}

TEST(CodeFrames, chunkingCutsTheSameStreamAtTwoPlaces) {
    const CodeFrame f = *buildCodeFrame(0xFC, 1, 0, 1, Bytes{0x11, 0x22});
    const auto colon = splitFrame(f, Chunking::ColonFirst);
    EXPECT_EQ(colon.first.size(), 1u);
    EXPECT_EQ(colon.first[0], 0x3A);
    EXPECT_EQ(colon.second.size(), 66u);
    EXPECT_EQ(colon.second[0], 0xFC);
    const auto header = splitFrame(f, Chunking::HeaderFirst);
    EXPECT_EQ((Bytes(header.first.begin(), header.first.end())),
              (Bytes{0x3A, 0xFC, 0x02, 0x01, 0x11}));
    EXPECT_EQ(header.second.size(), 62u);
    EXPECT_EQ(header.second[0], 0x22);
    Bytes joined(header.first.begin(), header.first.end());
    joined.insert(joined.end(), header.second.begin(), header.second.end());
    EXPECT_EQ(joined, frameBytes(f));
}

TEST(CodeFrames, writeSettingsAreCheckedBeforeAnyPort) {
    ShellState s;
    s.editionCode = 22;
    s.machineType = -1;
    EXPECT_EQ(checkCodeWriteSettings(s, 9600), "请选择机器类型");
    s.machineType = 1;
    EXPECT_EQ(checkCodeWriteSettings(s, 9600), std::nullopt);
    EXPECT_EQ(checkCodeWriteSettings(s, 600), "该中控版本不支持波特率 600");
    s.editionCode = 2009;
    s.machineType = 5; // ignored by editions without a machine type
    EXPECT_EQ(checkCodeWriteSettings(s, 600), std::nullopt);
    s.editionCode = 99;
    EXPECT_EQ(checkCodeWriteSettings(s, 9600), "未知的中控版本 99");
    s.editionCode = 2009; // group A takes any speed, but never 0
    EXPECT_EQ(checkCodeWriteSettings(s, 0), "投影机波特率无效（0），未写入任何数据");
}

TEST(CodeFrames, rowsThatNoFrameCanCarryAreToldApart) {
    CodeListEntry row;
    row.codeText = "a0 01 0d";
    EXPECT_EQ(codeRowRefusal(row), std::nullopt);
    row.keyType = 17;
    row.parity = 2;
    EXPECT_EQ(codeRowRefusal(row), std::nullopt);
    row.keyType = 256;
    EXPECT_EQ(codeRowRefusal(row), "键位 256 无效（应为 0 到 17）");
    row.keyType = 0;
    row.parity = 3;
    EXPECT_EQ(codeRowRefusal(row), "校验 3 无效（应为 0 无校验、1 奇校验或 2 偶校验）");
    row.parity = 0;
    row.codeText = std::string(62 * 2, 'a');
    EXPECT_EQ(codeRowRefusal(row), "功能码过长（最多61字节）");
}

// --- room block, panel numbers, card frame --------------------------------

TEST(RoomBlock, panelDefaultsAndEveryField) {
    const RoomParameters defaults;
    EXPECT_EQ(buildRoomBlock(defaults), (RoomParameterBlock{1, 0, 1, 1, 5, 0, 0, 0}));
    EXPECT_EQ(visualizerNumberFor(defaults), 2);

    RoomParameters p;
    p.offDelayMinutes = 0x2C;
    p.signalSource = 4;
    p.visualizerType = 0;
    p.shutdownAlarm = false;
    p.curtainSeconds = 0;
    p.oneKey = true;
    p.doorNormallyOpen = true;
    p.networkMachine = true;
    EXPECT_EQ(buildRoomBlock(p), (RoomParameterBlock{0x2C, 4, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(visualizerNumberFor(p), 1);

    p.signalSource = -1; // nothing chosen
    p.visualizerType = -1;
    const auto b = buildRoomBlock(p);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(b[2], 0xFF);
    EXPECT_EQ(visualizerNumberFor(p), 0);
}

TEST(RoomBlock, visualizerNumberIsTheLowByteOfTypePlusOneForAnyType) {
    RoomParameters p;
    const std::pair<int, int> cases[] = {
        {0, 1},
        {1, 2},
        {-1, 0},
        {254, 255},
        {255, 0},
        {std::numeric_limits<int>::max(), 0},
        {std::numeric_limits<int>::min(), 1},
        {-2, 255},
    };
    for (const auto& [type, want] : cases) {
        p.visualizerType = type;
        EXPECT_EQ(visualizerNumberFor(p), want) << type;
    }
}

TEST(RoomBlock, typedNumbersMustBeWholeNumbersThatFitAByte) {
    EXPECT_EQ(parseRoomNumber("10"), 10);
    EXPECT_EQ(parseRoomNumber(" 7 "), 7);
    EXPECT_EQ(parseRoomNumber("0"), 0);
    EXPECT_EQ(parseRoomNumber("255"), 255);
    EXPECT_EQ(parseRoomNumber("007"), 7);
    // Never sent as their low 8 bits, nor read up to the first non-digit.
    for (const char* bad :
         {"256", "300", "99999999999999999999999", "12ab", "", "  ", "-1", "+5", "1 0", "5.0"})
        EXPECT_FALSE(parseRoomNumber(bad)) << bad;
}

TEST(Baud, typedSpeedsMustBePositiveNumbers) {
    EXPECT_EQ(parseBaudText("9600"), 9600u);
    EXPECT_EQ(parseBaudText(" 115200 "), 115200u);
    EXPECT_FALSE(parseBaudText("0"));
    EXPECT_FALSE(parseBaudText(""));
    EXPECT_FALSE(parseBaudText("96OO"));
    EXPECT_FALSE(parseBaudText("-9600"));
    EXPECT_FALSE(parseBaudText("99999999999"));
}

TEST(CardFrame, lengthsUpToTheFrameAndNoFurther) {
    EXPECT_EQ(buildIdCardFrame("12345678"),
              (Bytes{0xCF, 0xBB, '1', '2', '3', '4', '5', '6', '7', '8', 0x02, 0x55}));
    EXPECT_EQ(buildIdCardFrame(""), (Bytes{0xCF, 0xBB, 0x02, 0x55}));
    const std::string max(kMaxCardBytes, '9');
    const auto f = buildIdCardFrame(max);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size(), 256u);
    EXPECT_EQ(f->back(), 0x55);
    EXPECT_FALSE(buildIdCardFrame(max + "9")); // refused, never cut
}

TEST(CardFrame, textTravelsInGbk) {
    EXPECT_EQ(utf8ToGbk("A1"), "A1");
    EXPECT_EQ(utf8ToGbk("中控"), "\xD6\xD0\xBF\xD8");
    EXPECT_EQ(gbkToUtf8("\xD6\xD0\xBF\xD8"), "中控");
    EXPECT_EQ(utf8ToGbk(""), "");
    EXPECT_FALSE(utf8ToGbk("\xFF\xFE"));         // not UTF-8
    EXPECT_FALSE(utf8ToGbk("\xF0\x9F\x98\x80")); // an emoji GBK lacks
    // A tag character GBK lacks is refused, not left out: "101" would be sent.
    EXPECT_FALSE(utf8ToGbk("101\xF3\xA0\x81\x81"));
    EXPECT_FALSE(utf8ToGbk("\xF3\xA0\x80\x81"));
    // 126 two-byte characters fill the frame exactly; one more does not fit.
    std::string card;
    for (int i = 0; i < 126; ++i)
        card += "卡";
    EXPECT_EQ(buildIdCardFrame(*utf8ToGbk(card))->size(), 256u);
    EXPECT_FALSE(buildIdCardFrame(*utf8ToGbk(card + "1")));
}

// --- echo matching ---------------------------------------------------------

TEST(Echo, onlyAWholeCodeTicksAndOnlyTheFirstEqualRow) {
    CodeList rows(5);
    rows[0].codeText = "a0 01 0d";
    rows[1].codeText = "50 57 52 0d";
    rows[2].codeText = "a0 01";
    rows[3].codeText = "7e 30 30 0d";
    rows[4].codeText = "7E3030 0D"; // same bytes as row 3, written differently
    const Bytes row3{0x7E, 0x30, 0x30, 0x0D};
    EXPECT_EQ(matchEcho(rows, row3), 3u);
    EXPECT_EQ(rows[3].status, RowStatus::Confirmed);
    EXPECT_EQ(rows[4].status, RowStatus::Unconfirmed);

    Bytes withExtra = row3;
    withExtra.push_back(0x0D);
    EXPECT_FALSE(matchEcho(rows, withExtra)); // a trailing byte matches nothing
    EXPECT_FALSE(matchEcho(rows, Bytes{0x50, 0x57}));
    Bytes two{0xA0, 0x01, 0x0D, 0xA0, 0x01, 0x0D};
    EXPECT_FALSE(matchEcho(rows, two));
    EXPECT_EQ(matchEcho(rows, Bytes{0xA0, 0x01}), 2u); // exactly row 2's shorter code
    EXPECT_EQ(rows[0].status, RowStatus::Unconfirmed);
    EXPECT_EQ(rows[1].status, RowStatus::Unconfirmed);
    EXPECT_FALSE(matchEcho(rows, Bytes{}));
}

// --- detection answers -----------------------------------------------------

TEST(DetectionAnswer, lastRecognisedPairInTheBlockDecides) {
    auto find = [](Bytes b) { return findDetectionAnswer(b); };
    auto is = [](std::optional<DetectedEdition> e, int code, int baud) {
        return e && e->editionCode == code && e->controllerBaud == baud;
    };
    EXPECT_TRUE(is(find({0xAA, 0x11}), 21, 1200));
    EXPECT_TRUE(is(find({0xAA, 0x31}), 31, 1200));
    EXPECT_TRUE(is(find({0x55, 0xAA, 0x05, 0xAA, 0x07}), 2007, 9600));
    EXPECT_TRUE(is(find({0xAA, 0x01, 0xAA, 0x08}), 2008, 115200));
    EXPECT_TRUE(is(find({0xAA, 0x12, 0xAA}), 22, 1200)); // trailing AA adds nothing
    EXPECT_FALSE(find({0xAA}));
    EXPECT_FALSE(find({0x11}));
    EXPECT_FALSE(find({}));
    EXPECT_FALSE(find({0x01, 0xAA}));
    EXPECT_FALSE(find({0xAA, 0x05}));
    EXPECT_FALSE(find({0x11, 0xAA, 0x00, 0x31})); // 0x31 not after an AA
    // An unrecognised byte after AA is skipped whole, even when it is AA itself.
    EXPECT_FALSE(find({0xAA, 0xAA, 0x11}));
    for (int b = 0; b < 256; ++b) {
        const bool known = editionForAnswerByte(static_cast<std::uint8_t>(b)).has_value();
        EXPECT_EQ(known, b == 0x01 || b == 0x02 || b == 0x06 || b == 0x07 || b == 0x08 ||
                             b == 0x09 || b == 0x11 || b == 0x12 || b == 0x31)
            << b;
    }
}

TEST(DetectionAnswer, applyingSetsEditionSpeedAndPortButNotMachineType) {
    ShellState s;
    s.machineType = 1;
    DetectionResult r;
    applyDetection(s, r);
    EXPECT_EQ(s.editionCode, 21);
    EXPECT_EQ(s.portName, "");
    r.found = true;
    r.portName = "/dev/ttyUSB3";
    r.edition = {2008, 115200};
    applyDetection(s, r);
    EXPECT_EQ(s.editionCode, 2008);
    EXPECT_EQ(s.controllerBaud, 115200);
    EXPECT_EQ(s.portName, "/dev/ttyUSB3");
    EXPECT_EQ(s.machineType, 1);
}

TEST(Ports, naturalOrderComparesNumbersByValue) {
    std::vector<std::string> names{"/dev/ttyUSB10", "/dev/ttyACM0",  "/dev/ttyUSB2",
                                   "/dev/ttyS1",    "/dev/ttyUSB02", "/dev/ttyS0"};
    std::sort(names.begin(), names.end(), naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1",
                                               "/dev/ttyUSB2", "/dev/ttyUSB02", "/dev/ttyUSB10"}));
    EXPECT_FALSE(naturalLess("COM3", "COM3"));
    EXPECT_TRUE(naturalLess("COM", "COM1"));
}

TEST(Ports, namedPortsFollowThePresentOnesOnce) {
    const std::vector<std::string> extra{"/tmp/ccsim0", "", "/tmp/ccsim0", "/tmp/a"};
    const auto ports = availablePorts(extra);
    ASSERT_GE(ports.size(), 2u);
    EXPECT_EQ(ports[ports.size() - 2], "/tmp/ccsim0");
    EXPECT_EQ(ports.back(), "/tmp/a");
    for (const auto& p : ports)
        EXPECT_FALSE(p.empty());
}
