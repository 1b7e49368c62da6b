#include "link/messages.h"

namespace pj::link::msg {

std::string formatMessage(std::string_view text, std::string_view arg) {
    return formatMessage(text, {arg});
}

std::string formatMessage(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) {
                out += *(args.begin() + n);
                i += 2;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

} // namespace pj::link::msg
