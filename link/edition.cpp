#include "link/edition.h"

#include <array>

namespace pj::link {

namespace {
// clang-format off
constexpr std::array<ControllerEdition, 7> kEditions{{
    {31,   "Cendo版", 0, "14.7456Mhz", ReloadGroup::A, 1200,   1200,   false},
    {21,   "Orvel版", 1, "14.7456Mhz", ReloadGroup::A, 600,    1200,   true},
    {22,   "Tamir版", 2, "22.1384Mhz", ReloadGroup::B, 600,    1200,   true},
    {2006, "Lumer版", 3, "14.7456Mhz", ReloadGroup::A, 9600,   9600,   true},
    {2007, "Vetra版", 4, "22.1384Mhz", ReloadGroup::B, 9600,   9600,   false},
    {2008, "VRKT版",  5, "22.1384Mhz", ReloadGroup::B, 115200, 115200, false},
    {2009, "Dorim版", 6, "14.7456Mhz", ReloadGroup::A, 19200,  19200,  false},
}};

struct Answer { std::uint8_t byte; DetectedEdition edition; };
constexpr std::array<Answer, 9> kAnswers{{
    {0x01, {21, 600}},   {0x02, {22, 600}},     {0x06, {2006, 9600}},
    {0x07, {2007, 9600}}, {0x08, {2008, 115200}}, {0x09, {2009, 19200}},
    {0x11, {21, 1200}},  {0x12, {22, 1200}},    {0x31, {31, 1200}},
}};

struct Reload { std::uint32_t baud; std::uint8_t a; std::uint8_t b; };
constexpr std::array<Reload, 8> kReload{{
    {1200, 0xE0, 0xA0}, {2400, 0xF0, 0xD0}, {4800, 0xF8, 0xE8}, {9600, 0xFC, 0xF4},
    {19200, 0xFE, 0xFA}, {38400, 0xFF, 0xFD}, {57600, 0xFF, 0xFE}, {115200, 0xFF, 0xFF},
}};
// clang-format on
} // namespace

std::span<const ControllerEdition> controllerEditions() {
    return kEditions;
}

const ControllerEdition* findEdition(int editionCode) {
    for (const auto& e : kEditions) {
        if (e.code == editionCode)
            return &e;
    }
    return nullptr;
}

bool editionNeedsMachineType(int editionCode) {
    const auto* e = findEdition(editionCode);
    return e && e->chunkByMachineType;
}

std::optional<int> programmingBaud(int editionCode, int machineType) {
    const auto* e = findEdition(editionCode);
    if (!e)
        return std::nullopt;
    return machineType == 1 ? e->baudNetwork : e->baudStandalone;
}

std::optional<Chunking> chunkingFor(int editionCode, int machineType) {
    const auto* e = findEdition(editionCode);
    if (!e)
        return std::nullopt;
    if (!e->chunkByMachineType)
        return Chunking::ColonFirst;
    if (machineType == 0)
        return Chunking::ColonFirst;
    if (machineType == 1)
        return Chunking::HeaderFirst;
    return std::nullopt;
}

std::optional<std::uint8_t> reloadByte(int editionCode, std::uint32_t baud) {
    const auto* e = findEdition(editionCode);
    if (!e)
        return std::nullopt;
    for (const auto& r : kReload) {
        if (r.baud == baud) {
            if (e->group == ReloadGroup::A)
                return baud <= 38400 ? r.a : std::uint8_t{0xFF};
            return r.b;
        }
    }
    if (e->group == ReloadGroup::A)
        return std::uint8_t{0xFF};
    return std::nullopt;
}

bool reloadIsApproximate(int editionCode, std::uint32_t baud) {
    const auto* e = findEdition(editionCode);
    if (!e || e->group != ReloadGroup::A)
        return false;
    for (const auto& r : kReload) {
        if (r.baud == baud)
            return baud > 38400;
    }
    return true;
}

std::optional<DetectedEdition> editionForAnswerByte(std::uint8_t byte) {
    for (const auto& a : kAnswers) {
        if (a.byte == byte)
            return a.edition;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> answerByteFor(int editionCode, int controllerBaud) {
    for (const auto& a : kAnswers) {
        if (a.edition.editionCode == editionCode && a.edition.controllerBaud == controllerBaud)
            return a.byte;
    }
    return std::nullopt;
}

} // namespace pj::link
