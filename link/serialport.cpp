#include "link/serialport.h"

#include "link/messages.h"

#include <cctype>

namespace pj::link {

bool deviceOpened(PortOpenStatus status) {
    return status == PortOpenStatus::Ok || status == PortOpenStatus::SettingsUnreadable ||
           status == PortOpenStatus::SettingsRefused;
}

std::string openFailureText(const std::string& port, PortOpenStatus status) {
    if (port.empty())
        return msg::kNoPortSet;
    switch (status) {
    case PortOpenStatus::Busy: {
        const std::string holder = portHolder(port);
        if (holder.empty())
            return msg::formatMessage(msg::kPortBusy, port);
        return msg::formatMessage(msg::kPortBusyBy, {port, holder});
    }
    case PortOpenStatus::PermissionDenied: {
        std::string text = msg::formatMessage(msg::kNoPermission, port);
        const std::string help = permissionHelp(port);
        if (!help.empty())
            text += "。" + help;
        return text;
    }
    case PortOpenStatus::SettingsUnreadable:
    case PortOpenStatus::SettingsRefused:
        return msg::formatMessage(msg::kPortSettingsRefused, port);
    case PortOpenStatus::Ok:
    case PortOpenStatus::Unavailable:
        break;
    }
    return msg::formatMessage(msg::kCannotOpenPort, port);
}

std::vector<PortCheck> checkPorts(SerialPort& port, std::span<const std::string> names) {
    std::vector<PortCheck> out;
    out.reserve(names.size());
    for (const auto& name : names) {
        out.push_back({name, port.open(name, LineSettings{})});
        port.close();
    }
    return out;
}

std::vector<PortCheck> checkPresentPorts(std::span<const std::string> extra) {
    const auto port = makeSystemSerialPort();
    const auto names = availablePorts(extra);
    return checkPorts(*port, names);
}

Parity parityFromCode(int parityCode) {
    if (parityCode == 1)
        return Parity::Odd;
    if (parityCode == 2)
        return Parity::Even;
    return Parity::None;
}

const char* parityName(Parity parity) {
    switch (parity) {
    case Parity::Odd:
        return "odd";
    case Parity::Even:
        return "even";
    case Parity::None:
        break;
    }
    return "none";
}

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie]))
                ++ie;
            while (je < b.size() && isDigit(b[je]))
                ++je;
            // Compare by value: skip leading zeros, then longer is larger.
            std::size_t is = i;
            std::size_t js = j;
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            if (ie - is != je - js)
                return ie - is < je - js;
            const int c = a.compare(is, ie - is, b, js, je - js);
            if (c != 0)
                return c < 0;
            if (ie - i != je - j) // same value, fewer leading zeros first
                return ie - i < je - j;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace pj::link
