#pragma once
// Shared by the fuzz targets: reading typed values from the fuzzer's bytes, the
// check that ends the run with a message when a property does not hold, and the
// guard that turns an escaping exception into such a failure.
//
// A target is one function, LLVMFuzzerTestOneInput. Under -DPJ_FUZZ=ON it is
// linked with libFuzzer; in the ordinary build with replay_main.cpp, which runs
// it over the seed corpus as a unit test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string>
#include <string_view>

#define PJ_FUZZ_CHECK(cond)                                                                        \
    ((cond) ? static_cast<void>(0) : ::pj::fuzz::fail(#cond, __FILE__, __LINE__))

namespace pj::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

// Takes values from the front of the input; an exhausted input gives zeros and
// empty spans, so every input is a valid one.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : bytes_(data, size) {}

    bool empty() const { return pos_ >= bytes_.size(); }
    std::size_t left() const { return bytes_.size() - pos_; }

    std::uint8_t byte() { return empty() ? 0 : bytes_[pos_++]; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint16_t u16() {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

    // Up to n bytes.
    std::span<const std::uint8_t> take(std::size_t n) {
        const std::size_t k = n < left() ? n : left();
        const auto out = bytes_.subspan(pos_, k);
        pos_ += k;
        return out;
    }
    // A length byte, then that many bytes (fewer at the end of the input).
    std::span<const std::uint8_t> chunk() { return take(byte()); }
    std::string_view chunkText() { return text(chunk()); }
    std::span<const std::uint8_t> rest() { return take(left()); }
    std::string_view restText() { return text(rest()); }

    static std::string_view text(std::span<const std::uint8_t> s) {
        return {reinterpret_cast<const char*>(s.data()), s.size()};
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// Runs one input; an exception that escapes the code under test is a failure
// of its own kind, reported with its text.
template <class Body> int run(const std::uint8_t* data, std::size_t size, Body body) {
    try {
        Input in(data, size);
        body(in);
    } catch (const std::exception& e) {
        std::string what = "exception escaped: ";
        what += e.what();
        fail(what.c_str(), __FILE__, __LINE__);
    } catch (...) {
        fail("exception escaped", __FILE__, __LINE__);
    }
    return 0;
}

} // namespace pj::fuzz
