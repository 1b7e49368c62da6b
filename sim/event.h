#pragma once
// The simulator's event log: every thing the controller sees or does becomes one
// event, written as one JSON object per line and kept in memory so that tests
// (and the program's own window) can look at it and wait for it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pj::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

class Event {
public:
    explicit Event(std::string kind, SteadyTime at = std::chrono::steady_clock::now());

    // Fields keep their order; values are stored as JSON text.
    Event& add(std::string_view name, long long value);
    Event& add(std::string_view name, int value) {
        return add(name, static_cast<long long>(value));
    }
    Event& add(std::string_view name, unsigned value) {
        return add(name, static_cast<long long>(value));
    }
    Event& add(std::string_view name, bool value);
    Event& add(std::string_view name, std::string_view value);
    Event& add(std::string_view name, const char* value) {
        return add(name, std::string_view(value));
    }
    Event& addHex(std::string_view name, std::span<const std::uint8_t> bytes);

    const std::string& kind() const { return kind_; }
    SteadyTime at() const { return at_; }
    // Wall-clock time in milliseconds since the epoch; set when the event is logged.
    long long timeMs() const { return timeMs_; }
    void setTimeMs(long long ms) { timeMs_ = ms; }

    // The raw JSON text of a field, an integer field, a string field, a flag.
    std::optional<std::string> raw(std::string_view name) const;
    std::optional<long long> number(std::string_view name) const;
    std::optional<std::string> text(std::string_view name) const;
    std::optional<bool> flag(std::string_view name) const;

    // {"t":..., "event":"kind", fields...}
    std::string json() const;
    // The event of one line that json() wrote (as ccsim's log holds them);
    // nullopt for anything else. Its steady time is `at`.
    static std::optional<Event> fromJson(std::string_view line,
                                         SteadyTime at = std::chrono::steady_clock::now());

private:
    std::string kind_;
    SteadyTime at_;
    long long timeMs_ = 0;
    std::vector<std::pair<std::string, std::string>> fields_;
};

std::string jsonQuote(std::string_view text);
std::string hexText(std::span<const std::uint8_t> bytes); // "aa 11"

// Thread-safe list of events with optional line sinks.
class EventLog {
public:
    // Every logged event is written to `sink` as one line and flushed; with
    // `replay` the events already logged are written first.
    void setSink(std::ostream* sink, bool replay = false);

    // Returns the index of the event.
    std::size_t append(Event event);

    std::size_t size() const;
    std::vector<Event> snapshot() const;

    // The first event at index >= from that satisfies `pred`, waiting at most
    // `timeout` for it. `index` (when given) receives its position.
    std::optional<Event> waitFor(const std::function<bool(const Event&)>& pred,
                                 std::chrono::milliseconds timeout, std::size_t from = 0,
                                 std::size_t* index = nullptr) const;
    std::optional<Event> waitFor(std::string_view kind, std::chrono::milliseconds timeout,
                                 std::size_t from = 0, std::size_t* index = nullptr) const;

private:
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::vector<Event> events_;
    std::ostream* sink_ = nullptr;
};

} // namespace pj::sim
