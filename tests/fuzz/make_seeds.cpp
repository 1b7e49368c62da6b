// Writes the seed corpora of the fuzz targets: real codes from the delivered
// catalogue (resources/catalogue), real frames as the link core builds them,
// the controller's answers and the cases the protocol descriptions single out.
// Each seed is laid out as its target reads its input (see the comment at the
// top of each fuzz_<name>.cpp). Run from the build directory after a change
// of a target's input layout:
//
//     cmake --build build --target fuzz_seeds && build/tests/fuzz/fuzz_seeds tests/fuzz/corpus
//
// Existing files of the same names are replaced; others (inputs saved from
// fuzzing runs) are left alone.

#include "link/codetext.h"
#include "link/frame.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using pj::link::Bytes;

namespace {

class Seed {
public:
    Seed& u8(unsigned v) {
        s_ += static_cast<char>(v & 0xFF);
        return *this;
    }
    Seed& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Seed& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Seed& raw(std::string_view bytes) {
        s_ += bytes;
        return *this;
    }
    Seed& raw(const Bytes& bytes) { return raw(std::string(bytes.begin(), bytes.end())); }
    Seed& chunk(std::string_view bytes) {
        return u8(static_cast<unsigned>(bytes.size())).raw(bytes);
    }
    Seed& chunk(const Bytes& bytes) { return chunk(std::string(bytes.begin(), bytes.end())); }
    const std::string& bytes() const { return s_; }

private:
    std::string s_;
};

fs::path root;
int seedCount = 0;

void put(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path dir = root / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ++seedCount;
}
void put(const std::string& target, const std::string& name, const Seed& seed) {
    put(target, name, seed.bytes());
}

// Real codes from resources/catalogue/keys.csv.
const char* const kEpsonOn = "50 57 52 20 4f 4e 0d";     // ESC/VP21 PWR ON
const char* const kEpsonOff = "50 57 52 20 4f 46 46 0d"; // PWR OFF
const char* const kEpsonVideo = "53 4f 55 52 43 45 20 34 31 0d";
const char* const kNecOn = "02 00 00 00 00 02"; // NEC binary, checksum last
const char* const kNecOff = "02 01 00 00 00 03";
const char* const kSonyOn = "a9 17 2e 00 00 00 3f 9a"; // even parity
const char* const kHitachiOn = "be ef 03 06 00 ba d2 01 00 00 60 01 00";
const char* const kBenqOn = "0d 2a 70 6f 77 3d 6f 6e 23 0d"; // 115200 baud
const char* const kOptomaVolume = "7e 30 30 31 34 30 20 31 38 0d";
const char* const kCasioOn = "28 50 57 52 31 29";

std::string longCode(std::size_t bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes; ++i)
        out +=
            (i ? " " : "") + pj::link::bytesToCodeText({static_cast<std::uint8_t>(0x30 + i % 10)});
    return out;
}

void codetext() {
    const std::string t = "codetext";
    put(t, "epson_power_on", kEpsonOn);
    put(t, "nec_power_off", kNecOff);
    put(t, "hitachi_power_on", kHitachiOn);
    put(t, "benq_power_on", kBenqOn);
    put(t, "suffixed_upper", "A0H 01H 0DH");
    put(t, "suffixed_lower", "a0h 01h 0dh");
    put(t, "pairs_run_together", "a0010D");
    put(t, "lone_last_digit", "ABC");
    put(t, "space_as_second_digit", "1 2");
    put(t, "no_hex_digits", "zz");
    put(t, "separators_only", "H   h");
    put(t, "ascii_command", "PWR ON");
    put(t, "ascii_tab_and_high_byte", "\tPWR\xb5");
    put(t, "code_61_bytes", longCode(61));
    put(t, "code_62_bytes", longCode(62));
}

// edition index in list order: 0 Cendo(31) 1 Orvel(21) 2 Tamir(22) 3 Lumer(2006)
// 4 Vetra(2007) 5 VRKT(2008) 6 Dorim(2009); speed index: 1200 2400 4800 9600
// 19200 38400 57600 115200 600 300.
Seed frameHeader(unsigned edition, unsigned machine, unsigned speed, int visualizer, bool goOn) {
    Seed s;
    return s.u8(edition).u8(machine).u8(speed).u8(static_cast<unsigned>(visualizer)).u8(goOn);
}
Seed& frameRow(Seed& s, bool selected, unsigned parity, unsigned slot, std::string_view code) {
    return s.u8((selected ? 1 : 0) | (parity << 1)).u16(slot).chunk(code);
}

void frame() {
    const std::string t = "frame";
    Seed epson = frameHeader(4, 0, 3, 2, true);
    frameRow(epson, true, 0, 0, kEpsonOn);
    frameRow(epson, true, 0, 1, kEpsonOff);
    frameRow(epson, false, 0, 2, kEpsonVideo);
    put(t, "vetra_epson_9600", epson);

    Seed nec = frameHeader(1, 1, 5, 1, true); // Orvel network unit: header-first
    frameRow(nec, true, 0, 0, kNecOn);
    frameRow(nec, true, 0, 1, kNecOff);
    put(t, "orvel_network_nec_38400", nec);

    Seed sony = frameHeader(2, 0, 5, 2, true); // Tamir standalone: colon-first, group B
    frameRow(sony, true, 2, 0, kSonyOn);
    put(t, "tamir_sony_even_parity", sony);

    Seed benq = frameHeader(0, 0, 7, 2, true); // Cendo, group A: 115200 is approximated
    frameRow(benq, true, 0, 0, kBenqOn);
    put(t, "cendo_benq_approximate", benq);
    Seed declined = frameHeader(0, 0, 7, 2, false);
    frameRow(declined, true, 0, 0, kBenqOn);
    put(t, "cendo_benq_declined", declined);

    Seed unchosen = frameHeader(3, 0x80, 3, 1, true); // Lumer without a machine type
    frameRow(unchosen, true, 0, 0, kEpsonOn);
    put(t, "lumer_machine_type_missing", unchosen);

    Seed tooLong = frameHeader(5, 0, 7, 2, true);
    frameRow(tooLong, true, 0, 0, longCode(62));
    frameRow(tooLong, true, 0, 1, longCode(61));
    frameRow(tooLong, true, 1, 15, kOptomaVolume);
    put(t, "vrkt_code_too_long", tooLong);

    Seed slots = frameHeader(6, 0, 4, 1, true);
    frameRow(slots, true, 0, 17, kCasioOn);
    frameRow(slots, true, 0, 18, kCasioOn);
    frameRow(slots, true, 0, 256, kCasioOn);
    frameRow(slots, true, 3, 3, kCasioOn);
    put(t, "dorim_slot_and_parity_out_of_range", slots);
}

void detectionEcho() {
    const std::string t = "detection_echo";
    auto code = [](const char* text) {
        const Bytes b = pj::link::codeTextToBytes(text);
        return std::string(b.begin(), b.end());
    };
    // answer choice: index into the answer bytes in increasing order
    // (01 02 06 07 08 09 11 12 31).
    Seed found;
    found.chunk("\xAA\x11").u8(6).u8(3).chunk(kEpsonOn).chunk(kEpsonOff).chunk(kNecOn);
    found.u8(1).u8(2).u8(1).u8(0).u8(0).u8(1).u8(47).u8(47); // 3 ports, controller on the second
    put(t, "answer_aa11_scan_three_ports", found);

    Seed skipped;
    skipped.chunk("\x55\xAA\x05\xAA\x07").u8(3).u8(0);
    put(t, "unknown_byte_skipped", skipped);

    Seed lone;
    lone.chunk("\xAA").u8(8).u8(0);
    put(t, "lone_probe_byte", lone);
    Seed doubled;
    doubled.chunk("\xAA\xAA\x01").u8(0).u8(0);
    put(t, "probe_byte_twice", doubled);

    Seed echo;
    echo.chunk(code(kEpsonOff))
        .u8(0)
        .u8(4)
        .chunk(kEpsonOn)
        .chunk(kEpsonOff)
        .chunk(kEpsonOff)
        .chunk(kEpsonVideo);
    put(t, "echo_of_second_row", echo);
    Seed partial;
    partial.chunk(code(kNecOn).substr(0, 3)).u8(0).u8(2).chunk(kNecOn).chunk(kNecOff);
    put(t, "echo_partial_code", partial);

    // A scan where the two probe writes at the controller's speed time out:
    // 600 baud is the first speed, so writes 0 and 1 are its first two probes.
    Seed slow;
    slow.chunk("").u8(0).u8(0).u8(1).u8(0).u8(0).u8(0).u8(0).u8(1);
    put(t, "scan_probe_writes_time_out", slow);
    Seed noisy;
    // 4 ports: absent, settings refused, the controller (2008, 115200 baud), absent.
    noisy.chunk("").u8(4).u8(0).u8(1).u8(3).u8(2).u8(2).u8(3).u8(0).u8(2).u8(20).u8(30);
    noisy.raw("\x55\x00\xff\x11");
    put(t, "scan_four_ports_with_noise", noisy);
    // 4 ports: busy, not permitted, the controller (2008, 115200 baud), settings
    // unreadable: the first two are listed as unusable, the last never tried.
    Seed refusing;
    refusing.chunk("").u8(4).u8(0).u8(1).u8(3).u8(2).u8(4).u8(5).u8(0).u8(6).u8(47).u8(47);
    put(t, "scan_busy_and_not_permitted_ports", refusing);
}

Seed roomHeader(unsigned offDelay, int source, int type, unsigned flags, unsigned curtain) {
    Seed s;
    return s.u8(offDelay)
        .u32(static_cast<std::uint32_t>(source))
        .u32(static_cast<std::uint32_t>(type))
        .u8(flags)
        .u8(curtain);
}

void roomcard() {
    const std::string t = "roomcard";
    Seed panel = roomHeader(1, 0, 1, 1, 5);
    panel.chunk("300").u32(300).raw("教室101");
    put(t, "panel_defaults_card_classroom", panel);

    Seed none = roomHeader(0x2C, -1, -1, 0xF, 255);
    none.chunk("  -5").u32(static_cast<std::uint32_t>(-5)).raw("A1");
    put(t, "nothing_chosen_negative_number", none);

    Seed speed = roomHeader(10, 4, 0, 8, 0);
    speed.chunk(" 115200 ").u32(115200).raw("");
    put(t, "typed_speed_empty_card", speed);

    std::string full;
    for (int i = 0; i < 126; ++i)
        full += "中";
    Seed longest = roomHeader(1, 2, 1, 1, 5);
    longest.chunk("4294967296").u32(0xFFFFFFFF).raw(full);
    put(t, "card_252_gbk_bytes", longest);
    Seed tooLong = roomHeader(1, 2, 1, 1, 5);
    tooLong.chunk("0").u32(0).raw(full + "1");
    put(t, "card_253_gbk_bytes", tooLong);

    Seed emoji = roomHeader(1, 0, 1, 1, 5);
    emoji.chunk("x").u32(7).raw("\xF0\x9F\x98\x80");
    put(t, "card_character_gbk_lacks", emoji);
    Seed notUtf8 = roomHeader(1, 0, 1, 1, 5);
    notUtf8.chunk("").u32(1).raw("\xD6\xD0\xBF\xD8");
    put(t, "card_in_gbk_not_utf8", notUtf8);
    // The end mark 02 55 inside the number would end the card early.
    Seed endMark = roomHeader(1, 0, 1, 1, 5);
    endMark.chunk("").u32(1).raw("A\x02U1");
    put(t, "card_holding_end_mark", endMark);
    // A Unicode tag character, which iconv drops instead of refusing.
    Seed tag = roomHeader(1, 0, 1, 1, 5);
    tag.chunk("").u32(1).raw("101\xF3\xA0\x81\x81");
    put(t, "card_tag_character", tag);
    Seed extreme = roomHeader(1, 0x7FFFFFFF, 0x7FFFFFFF, 1, 5);
    extreme.chunk("").u32(1).raw("1");
    put(t, "visualizer_type_largest", extreme);
}

// Controller operations: kind, time step (16 bits), line byte (low nibble < 8
// is the programming speed; 0x40 odd parity; 0x80 nobody listening), then the
// operation's own bytes.
void controller() {
    const std::string t = "controller";
    auto frameBytes = [](std::uint8_t reload, std::uint32_t slot, std::uint32_t parity,
                         const char* code) {
        return *pj::link::buildCodeFrame(reload, slot, parity, 2, pj::link::codeTextToBytes(code));
    };
    // Answer choice 6 = 0x11 (edition 21 at 1200, network: header-first).
    Seed probes;
    probes.u8(6).u8(0).u8(0).u8(75);
    for (int i = 0; i < 3; ++i)
        probes.u8(0).u16(200).u8(0).chunk("\xAA");
    probes.u8(0).u16(200).u8(8).chunk("\xAA"); // at another speed
    put(t, "probes_answered_at_programming_speed", probes);

    // A real frame as the link core builds it (reload 0xFC: 9600 baud, group A),
    // header-first, 400 ms apart; then the key pressed at the projector's speed.
    const auto f = frameBytes(0xFC, 0, 0, kEpsonOn);
    const std::string whole(f.begin(), f.end());
    Seed written;
    written.u8(6).u8(2).u8(0).u8(75);
    written.u8(0).u16(0).u8(0).chunk(whole.substr(0, 5));
    written.u8(0).u16(400).u8(0).chunk(whole.substr(5));
    written.u8(1).u16(1000).u8(0x0C).u8(0); // press 0 at 9600 (index 4 of the others)
    written.u8(1).u16(1000).u8(0x0A).u8(0); // press 0 at 1200: garbled
    written.u8(1).u16(1000).u8(0x8C).u8(0); // nobody listening
    put(t, "frame_header_first_then_press", written);

    // Colon-first (answer 0x01: edition 21 at 600, standalone), second chunk too soon.
    const auto g = frameBytes(0xFF, 1, 2, kSonyOn);
    const std::string second(g.begin() + 1, g.end());
    Seed soon;
    soon.u8(0).u8(1).u8(0).u8(75);
    soon.u8(0).u16(0).u8(0).chunk(":").u8(0).u16(100).u8(0).chunk(second);
    soon.u8(3)
        .u16(1000)
        .u8(0)
        .u8(0xFF)
        .u8(8)
        .raw("\x30\x31\x32\x33\x34\x35\x36\x37")
        .u8(17)
        .u8(1)
        .u8(2)
        .u8(0)
        .u16(500);
    put(t, "chunk_too_soon_then_frame_op", soon);

    // Room mark, 500 ms, the block; a card; a frame left unfinished.
    Seed room;
    room.u8(8).u8(0).u8(0).u8(75);
    room.u8(0).u16(0).u8(0).chunk("Z");
    room.u8(0).u16(500).u8(0).chunk(std::string("\x2C\x00\x01\x01\x05\x00\x00\x01", 8));
    room.u8(0).u16(100).u8(0).chunk("\xCF\xBB\xBD\xCC\xCA\xD2"
                                    "101\x02\x55");
    room.u8(0).u16(100).u8(0).chunk(":\xFC\x03");
    room.u8(2).u16(3000).u8(0);
    put(t, "room_card_and_expired_frame", room);
}

void catalogueCsv() {
    const std::string t = "catalogue_csv";
    const std::string header =
        "kind,company,model,baud,parity,ascii,description,function,slot,code\r\n";
    put(t, "epson_two_keys",
        header +
            "company,爱普生 Epson,,,,,,,,\r\n"
            "model,爱普生 Epson,EB系列 双电脑双HDMI (ESC/VP21),9600,0,1,"
            "\"ESC/VP21 协议，9600 8N1，命令以回车结尾；投影机就绪时回送\"\":\"\"。\",,,\r\n"
            "key,爱普生 Epson,EB系列 双电脑双HDMI (ESC/VP21),,,,,开机,0,50 57 52 20 4f 4e 0d\r\n"
            "key,爱普生 Epson,EB系列 双电脑双HDMI (ESC/VP21),,,,,关机,1,50 57 52 20 4f 46 46 "
            "0d\r\n");
    put(t, "nec_and_sony_with_bom",
        "\xEF\xBB\xBF" + header +
            "company,NEC,,,,,,,,\r\ncompany,索尼 Sony,,,,,,,,\r\n"
            "model,NEC,UM351W,38400,0,0,NEC 二进制协议,,,\r\n"
            "key,NEC,UM351W,,,,,开机,0,02 00 00 00 00 02\r\n"
            "model,索尼 Sony,VPL-VW/HW 家庭影院系列,38400,2,0,\"多行\r\n说明, 带逗号\",,,\r\n"
            "key,索尼 Sony,VPL-VW/HW 家庭影院系列,,,,,开机,0,a9 17 2e 00 00 00 3f 9a\r\n");
    put(t, "lf_only_and_blank_line",
        "kind,company,model,baud,parity,ascii,description,function,slot,code\n\n"
        "company,明基 BenQ,,,,,,,,\nmodel,明基 BenQ,MX854UST,115200,0,0,,,,\n");
    put(t, "unterminated_quote", header + "company,\"Open,,,,,,,,\r\n");
    put(t, "key_before_model", header + "key,A,B,,,,,开机,0,00\r\n");
    put(t, "wrong_column_count", header + "company,A\r\n");
    put(t, "speed_too_large", header + "model,A,B,4294967296,0,0,,,,\r\n");
    put(t, "wrong_header", "kind,company\r\n");
    // Read as a catalogue to write: one company whose name starts with U+FEFF.
    put(t, "company_name_starting_with_feff", std::string("\x01\x02\xFF\xFE\x41\x00\x00", 7));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    root = argv[1];
    codetext();
    frame();
    detectionEcho();
    roomcard();
    controller();
    catalogueCsv();
    std::printf("%d seeds written under %s\n", seedCount, root.string().c_str());
    return 0;
}
