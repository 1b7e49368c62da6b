// POSIX: the payload appended to the running program's own file, mapped
// read-only so each carried file is written straight from the mapping.
#include "install/container.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pj::install {

namespace {

class MappedOwnPayload : public PayloadSource {
public:
    MappedOwnPayload(void* base, std::size_t size, ContainerView view)
        : base_(base)
        , size_(size)
        , view_(std::move(view)) {}
    ~MappedOwnPayload() override { munmap(base_, size_); }
    MappedOwnPayload(const MappedOwnPayload&) = delete;
    MappedOwnPayload& operator=(const MappedOwnPayload&) = delete;

    std::optional<std::span<const std::byte>> resource(int number) const override {
        return view_.resource(number);
    }

private:
    void* base_;
    std::size_t size_;
    ContainerView view_;
};

} // namespace

std::unique_ptr<PayloadSource> openOwnPayload(std::string& error) {
    return openPayloadFile("/proc/self/exe", error);
}

std::unique_ptr<PayloadSource> openPayloadFile(const fs::path& program, std::string& error) {
    const int fd = ::open(program.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "无法读取安装程序自身";
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        error = "无法读取安装程序自身";
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (base == MAP_FAILED) {
        error = "无法读取安装程序自身";
        return nullptr;
    }
    auto view = ContainerView::parse(std::span(static_cast<const std::byte*>(base), size));
    if (!view) {
        munmap(base, size);
        error = "安装程序中没有携带的文件";
        return nullptr;
    }
    return std::make_unique<MappedOwnPayload>(base, size, std::move(*view));
}

} // namespace pj::install
