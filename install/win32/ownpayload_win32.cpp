// Windows: the program's own resources of type 256, used straight from the
// loaded module.
#include "install/payload.h"
#include "install/product.h"
#include "install/win32/winapi.h"

namespace pj::install {

namespace {

class ResourcePayload : public PayloadSource {
public:
    explicit ResourcePayload(HMODULE module, bool owned = false)
        : module_(module)
        , owned_(owned) {}
    ~ResourcePayload() override {
        if (owned_)
            FreeLibrary(module_);
    }
    ResourcePayload(const ResourcePayload&) = delete;
    ResourcePayload& operator=(const ResourcePayload&) = delete;

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
    bool owned_;
};

} // namespace

std::unique_ptr<PayloadSource> openOwnPayload(std::string& error) {
    (void)error;
    return std::make_unique<ResourcePayload>(GetModuleHandleW(nullptr));
}

} // namespace pj::install

namespace pj::install {

std::unique_ptr<PayloadSource> openPayloadFile(const fs::path& program, std::string& error) {
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        error = "无法读取安装程序：" + utf8FromPath(program);
        return nullptr;
    }
    return std::make_unique<ResourcePayload>(module, true);
}

} // namespace pj::install
