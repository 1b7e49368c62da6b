// Windows: the program's own resources of type 256, used straight from the
// loaded module.
#include "install/payload.h"
#include "install/product.h"
#include "install/win32/winapi.h"

namespace pj::install {

namespace {

class ResourcePayload : public PayloadSource {
public:
    explicit ResourcePayload(HMODULE module)
        : module_(module) {}

    std::optional<std::span<const std::byte>> resource(int number) const override {
        HRSRC found =
            FindResourceW(module_, MAKEINTRESOURCEW(number), MAKEINTRESOURCEW(kResourceType));
        if (!found)
            return std::nullopt;
        HGLOBAL loaded = LoadResource(module_, found);
        const DWORD size = SizeofResource(module_, found);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (!data)
            return size == 0
                       ? std::optional<std::span<const std::byte>>(std::span<const std::byte>())
                       : std::nullopt;
        return std::span(static_cast<const std::byte*>(data), size);
    }

private:
    HMODULE module_;
};

} // namespace

std::unique_ptr<PayloadSource> openOwnPayload(std::string& error) {
    (void)error;
    return std::make_unique<ResourcePayload>(GetModuleHandleW(nullptr));
}

} // namespace pj::install
