// The simulator's stream mode: bytes counting up, paced at the line speed, on
// a thread of their own beside the pty's I/O thread.

#include "sim/simulator.h"

#include <cerrno>
#include <unistd.h>

namespace pj::sim {

namespace {
constexpr std::chrono::milliseconds kStreamTick{5};
}

bool Simulator::startStream(const StreamOptions& options, std::string& error) {
    if (options.baud == 0) {
        error = "流模式的波特率必须大于 0";
        return false;
    }
    if (!started_) {
        error = "模拟器没有运行";
        return false;
    }
    stopStream();
    {
        std::lock_guard lock(streamMu_);
        streamStop_ = false;
        stats_ = StreamStats{};
        stats_.running = true;
        stats_.baud = options.baud;
        streamThread_ = std::thread([this, options] { streamLoop(options); });
    }
    Event e("stream");
    e.add("baud", options.baud)
        .add("duration_ms", static_cast<long long>(options.duration.count()));
    log_.append(std::move(e));
    return true;
}

void Simulator::stopStream() {
    std::thread t;
    {
        std::lock_guard lock(streamMu_);
        streamStop_ = true;
        t = std::move(streamThread_);
    }
    streamCv_.notify_all();
    if (t.joinable())
        t.join();
}

StreamStats Simulator::streamStats() const {
    std::lock_guard lock(streamMu_);
    return stats_;
}

void Simulator::writeStreamChunk(const Bytes& chunk, std::uint32_t baud, StreamStats& counts) {
    std::lock_guard lock(mu_);
    const LineSettings line = lineLocked();
    if (master_ < 0 || !line.clientOpen) {
        counts.unheard += chunk.size();
        return;
    }
    // A stream is 8N1: a client at another speed, or checking odd parity,
    // receives garbage.
    const bool garbled = line.baud != baud || line.parityOdd;
    const Bytes out = garbled ? garble(chunk) : chunk;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(master_, out.data() + done, out.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // the client's input queue is full
    }
    counts.sent += done;
    if (garbled)
        counts.garbled += done;
    counts.overflow += out.size() - done;
}

void Simulator::streamLoop(StreamOptions options) {
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const double bytesPerSecond = options.baud / 10.0;
    std::uint64_t produced = 0;
    std::uint8_t next = 0;
    Bytes chunk;
    std::unique_lock lock(streamMu_);
    for (;;) {
        auto elapsed = steady_clock::now() - start;
        const bool timeUp = options.duration.count() > 0 && elapsed >= options.duration;
        if (timeUp)
            elapsed = options.duration;
        const auto due =
            static_cast<std::uint64_t>(duration<double>(elapsed).count() * bytesPerSecond);
        if (due > produced) {
            chunk.resize(static_cast<std::size_t>(due - produced));
            for (auto& b : chunk)
                b = next++;
            produced = due;
            StreamStats counts;
            lock.unlock();
            writeStreamChunk(chunk, options.baud, counts);
            lock.lock();
            stats_.sent += counts.sent;
            stats_.garbled += counts.garbled;
            stats_.overflow += counts.overflow;
            stats_.unheard += counts.unheard;
        }
        stats_.ms = duration_cast<milliseconds>(elapsed).count();
        if (timeUp || streamStop_)
            break;
        streamCv_.wait_for(lock, kStreamTick, [this] { return streamStop_; });
    }
    stats_.running = false;
    const StreamStats s = stats_;
    lock.unlock();
    Event e("stream_end");
    e.add("baud", s.baud)
        .add("sent", static_cast<long long>(s.sent))
        .add("garbled", static_cast<long long>(s.garbled))
        .add("overflow", static_cast<long long>(s.overflow))
        .add("unheard", static_cast<long long>(s.unheard))
        .add("ms", s.ms);
    log_.append(std::move(e));
}

} // namespace pj::sim
