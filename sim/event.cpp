#include "sim/event.h"

#include <cstdio>
#include <cstdlib>

namespace pj::sim {

std::string jsonQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

Event::Event(std::string kind, SteadyTime at)
    : kind_(std::move(kind))
    , at_(at) {}

Event& Event::add(std::string_view name, long long value) {
    fields_.emplace_back(std::string(name), std::to_string(value));
    return *this;
}

Event& Event::add(std::string_view name, bool value) {
    fields_.emplace_back(std::string(name), value ? "true" : "false");
    return *this;
}

Event& Event::add(std::string_view name, std::string_view value) {
    fields_.emplace_back(std::string(name), jsonQuote(value));
    return *this;
}

Event& Event::addHex(std::string_view name, std::span<const std::uint8_t> bytes) {
    return add(name, std::string_view(hexText(bytes)));
}

std::optional<std::string> Event::raw(std::string_view name) const {
    for (const auto& [k, v] : fields_) {
        if (k == name)
            return v;
    }
    return std::nullopt;
}

std::optional<long long> Event::number(std::string_view name) const {
    auto v = raw(name);
    if (!v || v->empty() || v->front() == '"')
        return std::nullopt;
    char* end = nullptr;
    const long long n = std::strtoll(v->c_str(), &end, 10);
    if (end == v->c_str() || *end != '\0')
        return std::nullopt;
    return n;
}

std::optional<std::string> Event::text(std::string_view name) const {
    auto v = raw(name);
    if (!v || v->size() < 2 || v->front() != '"')
        return std::nullopt;
    // Undo the escapes jsonQuote writes.
    std::string out;
    for (std::size_t i = 1; i + 1 < v->size(); ++i) {
        char c = (*v)[i];
        if (c == '\\' && i + 2 < v->size()) {
            char e = (*v)[++i];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                if (i + 4 < v->size()) {
                    out += static_cast<char>(std::strtol(v->substr(i + 1, 4).c_str(), nullptr, 16));
                    i += 4;
                }
                break;
            default:
                out += e;
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<bool> Event::flag(std::string_view name) const {
    auto v = raw(name);
    if (v == "true")
        return true;
    if (v == "false")
        return false;
    return std::nullopt;
}

std::string Event::json() const {
    std::string out = "{\"t\":" + std::to_string(timeMs_) + ",\"event\":" + jsonQuote(kind_);
    for (const auto& [k, v] : fields_) {
        out += ',';
        out += jsonQuote(k);
        out += ':';
        out += v;
    }
    out += '}';
    return out;
}

std::optional<Event> Event::fromJson(std::string_view line, SteadyTime at) {
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
    };
    // A string token as written: from its opening to its closing quote.
    auto quoted = [&]() -> std::optional<std::string_view> {
        if (i >= line.size() || line[i] != '"')
            return std::nullopt;
        const std::size_t start = i++;
        while (i < line.size() && line[i] != '"')
            i += line[i] == '\\' ? 2 : 1;
        if (i >= line.size())
            return std::nullopt;
        ++i;
        return line.substr(start, i - start);
    };
    skipSpace();
    if (i >= line.size() || line[i++] != '{')
        return std::nullopt;
    Event e("");
    e.at_ = at;
    bool sawKind = false;
    for (;;) {
        skipSpace();
        const auto key = quoted();
        skipSpace();
        if (!key || key->size() < 2 || i >= line.size() || line[i++] != ':')
            return std::nullopt;
        skipSpace();
        std::string_view value;
        if (i < line.size() && line[i] == '"') {
            const auto v = quoted();
            if (!v)
                return std::nullopt;
            value = *v;
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ',' && line[i] != '}')
                ++i;
            value = line.substr(start, i - start);
            while (!value.empty() && value.back() == ' ')
                value.remove_suffix(1);
            if (value.empty())
                return std::nullopt;
        }
        const std::string name(key->substr(1, key->size() - 2));
        e.fields_.emplace_back(name, std::string(value));
        if (name == "event") {
            e.kind_ = *e.text("event");
            e.fields_.pop_back();
            sawKind = true;
        } else if (name == "t") {
            e.timeMs_ = e.number("t").value_or(0);
            e.fields_.pop_back();
        }
        skipSpace();
        if (i < line.size() && line[i] == ',') {
            ++i;
            continue;
        }
        if (i < line.size() && line[i] == '}')
            break;
        return std::nullopt;
    }
    if (!sawKind)
        return std::nullopt;
    return e;
}

void EventLog::setSink(std::ostream* sink, bool replay) {
    std::lock_guard lock(mu_);
    sink_ = sink;
    if (sink_ && replay) {
        for (const auto& e : events_)
            *sink_ << e.json() << '\n';
        sink_->flush();
    }
}

std::size_t EventLog::append(Event event) {
    using namespace std::chrono;
    event.setTimeMs(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
    std::size_t index;
    {
        std::lock_guard lock(mu_);
        if (sink_) {
            *sink_ << event.json() << '\n';
            sink_->flush();
        }
        events_.push_back(std::move(event));
        index = events_.size() - 1;
    }
    cv_.notify_all();
    return index;
}

std::size_t EventLog::size() const {
    std::lock_guard lock(mu_);
    return events_.size();
}

std::vector<Event> EventLog::snapshot() const {
    std::lock_guard lock(mu_);
    return events_;
}

std::optional<Event> EventLog::waitFor(const std::function<bool(const Event&)>& pred,
                                       std::chrono::milliseconds timeout, std::size_t from,
                                       std::size_t* index) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mu_);
    std::size_t next = from;
    for (;;) {
        for (; next < events_.size(); ++next) {
            if (pred(events_[next])) {
                if (index)
                    *index = next;
                return events_[next];
            }
        }
        if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: an event may have come with the time-out.
            for (; next < events_.size(); ++next) {
                if (pred(events_[next])) {
                    if (index)
                        *index = next;
                    return events_[next];
                }
            }
            return std::nullopt;
        }
    }
}

std::optional<Event> EventLog::waitFor(std::string_view kind, std::chrono::milliseconds timeout,
                                       std::size_t from, std::size_t* index) const {
    const std::string k(kind);
    return waitFor([&k](const Event& e) { return e.kind() == k; }, timeout, from, index);
}

} // namespace pj::sim
