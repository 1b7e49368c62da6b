// Windows port layer. Not built yet for lack of a Windows test run: every open
// answers Unavailable so that the rest of the core builds and runs. The real
// implementation opens "\\\\.\\COMn" with CreateFileA (exclusive, overlapped),
// applies the line with SetCommState and waits with WaitCommEvent.
#include "link/serialport.h"

#include <algorithm>
#include <windows.h>

namespace pj::link {

namespace {
class Win32SerialPort final : public SerialPort {
public:
    PortOpenStatus open(const std::string&, const LineSettings&) override {
        return PortOpenStatus::Unavailable;
    }
    bool isOpen() const override { return false; }
    void close() override {}
    IoResult write(std::span<const std::uint8_t>, Millis) override {
        return {IoStatus::NotOpen, 0};
    }
    IoStatus waitReadable(Millis) override { return IoStatus::NotOpen; }
    IoResult read(std::span<std::uint8_t>) override { return {IoStatus::NotOpen, 0}; }
    void wake() override {}
    void drain() override {}
    void purgeOutput() override {}
    void purgeAll() override {}
    std::optional<AppliedSettings> appliedSettings() const override { return std::nullopt; }
    std::string lastError() const override { return "not implemented"; }
};
} // namespace

std::unique_ptr<SerialPort> makeSystemSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

std::vector<std::string> availablePorts(std::span<const std::string> extra) {
    std::vector<std::string> found;
    char target[256];
    for (int i = 1; i <= 256; ++i) {
        const std::string name = "COM" + std::to_string(i);
        if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
            found.push_back(name);
    }
    for (const auto& name : extra) {
        if (!name.empty() && std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    }
    return found;
}

} // namespace pj::link
