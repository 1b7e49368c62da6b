#pragma once
// The 18 keys of the central controller. A key's slot is what the catalogue
// stores in FUNKEY.TYPE, the index in the editor's drop-down list and the key
// byte of a code frame. Within each group of four the order is power on,
// power off, video, VGA.

#include <array>
#include <optional>
#include <string_view>

namespace pj::catalogue {

struct FunctionKey {
    int slot;
    std::string_view name; // UTF-8
};

inline constexpr int kFunctionKeyCount = 18;

inline constexpr std::array<FunctionKey, kFunctionKeyCount> kFunctionKeyTable{{
    {0, "开机1"},
    {1, "关机1"},
    {2, "视频1"},
    {3, "VGA1"},
    {4, "开机2"},
    {5, "关机2"},
    {6, "视频2"},
    {7, "VGA2"},
    {8, "开机3"},
    {9, "关机3"},
    {10, "视频3"},
    {11, "VGA3"},
    {12, "TV"},
    {13, "CH+"},
    {14, "CH-"},
    {15, "VOL+"},
    {16, "VOL-"},
    {17, "静音"},
}};

inline constexpr bool isValidSlot(long long slot) {
    return slot >= 0 && slot < kFunctionKeyCount;
}

// The key's name, or an empty view for a slot outside 0..17.
inline constexpr std::string_view functionKeyName(long long slot) {
    return isValidSlot(slot) ? kFunctionKeyTable[static_cast<std::size_t>(slot)].name
                             : std::string_view{};
}

// The slot of a key name ("开机1" -> 0), exact match.
inline constexpr std::optional<int> functionKeySlot(std::string_view name) {
    for (const auto& k : kFunctionKeyTable) {
        if (k.name == name)
            return k.slot;
    }
    return std::nullopt;
}

} // namespace pj::catalogue
