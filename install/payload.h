#pragma once
// The files setup carries: numbered resources (the program 3001, the help
// 3002, the manifest 3003, the catalogue 3004, further files from 3005, the
// remover 3000, the licence text 129) and the payload index (2999) that names
// the product files and gives their order.

#include "install/text.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pj::install {

struct PayloadEntry {
    int resource = 0;
    // Relative path in the install folder, '/' between folders, UTF-8.
    std::string name;

    bool operator==(const PayloadEntry&) const = default;
};

// A relative name that stays inside the folder it is joined to: not empty,
// no leading '/', no '\\', no drive colon, no control characters, no empty,
// "." or ".." component, valid UTF-8.
bool isSafeRelativeName(std::string_view name);

// The index: one line per file, "<number>\t<name>\n", in install order.
std::string formatPayloadIndex(const std::vector<PayloadEntry>& entries);
// nullopt with `error` when a line is malformed, a name unsafe, a number or
// name used twice (names compared without case), or the program (3001) absent.
std::optional<std::vector<PayloadEntry>> parsePayloadIndex(std::string_view text,
                                                           std::string& error);

class PayloadSource {
public:
    virtual ~PayloadSource() = default;
    // The bytes of resource `number`, valid while the source lives; nullopt
    // when the source does not carry it.
    virtual std::optional<std::span<const std::byte>> resource(int number) const = 0;
};

// Resources held in memory: the tests' payload.
class MemoryPayload : public PayloadSource {
public:
    void add(int number, std::string_view bytes);
    std::optional<std::span<const std::byte>> resource(int number) const override;

private:
    std::map<int, std::vector<std::byte>> data_;
};

// The index of `source`, parsed. nullopt with `error` when absent or invalid.
std::optional<std::vector<PayloadEntry>> loadPayloadIndex(const PayloadSource& source,
                                                          std::string& error);

// What the running program carries: its own resources of type 256 on
// Windows, the payload appended to its own file on POSIX (install/container.h).
// nullptr with `error` when there is none.
std::unique_ptr<PayloadSource> openOwnPayload(std::string& error);
// What another setup program carries (benchmarks, tools).
std::unique_ptr<PayloadSource> openPayloadFile(const fs::path& program, std::string& error);

} // namespace pj::install
