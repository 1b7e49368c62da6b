#include "link/messages.h"

namespace pj::link::msg {

std::string formatMessage(std::string_view text, std::string_view arg) {
    std::string out;
    out.reserve(text.size() + arg.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
            out += arg;
            i += 2;
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

} // namespace pj::link::msg
