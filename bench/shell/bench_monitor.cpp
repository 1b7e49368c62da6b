// The receive monitor under a controller that never stops sending: the
// built-in simulator streams counting bytes at 115,200 baud (11,520 bytes a
// second) into PROJECTOR's monitor for SECONDS. Printed: the bytes at both
// ends (the simulator's sent / overflowed, the monitor's received) and whether
// the box's last bytes are the stream's last ones in order; how long the
// window's event loop takes to answer (a probe posted every 20 ms from
// another thread); the resident memory over the run. Asserts nothing.
//
//   bench_shell_monitor [SECONDS]      (default 60; QT_QPA_PLATFORM=offscreen unless a display is
//   wanted)

#include "shell/dialogs/detectiondialog.h"
#include "shell/dialogs/modal.h"
#include "shell/mainwindow.h"
#include "shell/projectorapp.h"
#include "shell/receivemonitor.h"
#include "sim/simulator.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace pj;
using namespace pj::shell;
using Clock = std::chrono::steady_clock;

namespace {

double residentMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// The last `n` bytes the box shows (hex pairs), oldest first.
std::vector<int> lastBytes(const QString& text, int n) {
    std::vector<int> out;
    const QStringList pairs = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = std::max<qsizetype>(0, pairs.size() - n); i < pairs.size(); ++i)
        out.push_back(pairs[i].toInt(nullptr, 16));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

    ModalSeam::queueHandler([](QDialog& d) {
        auto& dialog = static_cast<DetectionDialog&>(d);
        if (dialog.scanRunning()) {
            QEventLoop loop;
            QObject::connect(&dialog, &DetectionDialog::scanEnded, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return dialog.result();
    });
    ProgramOptions o;
    o.simulate = true;
    o.catalogueFile = QStringLiteral(PJ_DELIVERED_CATALOGUE);
    o.scanPresentPorts = false;
    ProjectorApp projector(o);
    if (!projector.start()) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    MainPanel* panel = projector.mainWindow()->panel();
    sim::Simulator& sim = *projector.simulator();
    panel->openMonitor();
    ReceiveMonitor* monitor = panel->monitor();
    auto* speed = monitor->findChild<QComboBox*>(QStringLiteral("combo1073"));
    const int row = speed->findText(QStringLiteral("115200"));
    speed->setCurrentIndex(row);
    Q_EMIT speed->activated(row);
    QApplication::processEvents();
    while (!sim.line().clientOpen)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    // Event-loop probes: posted from another thread, answered on the window's.
    QObject probeTarget;
    std::vector<double> latencies;
    std::atomic<bool> probing{true};
    std::thread prober([&] {
        while (probing) {
            const auto sent = Clock::now();
            QMetaObject::invokeMethod(
                &probeTarget,
                [&latencies, sent] {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    std::vector<double> rss;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&rss] { rss.push_back(residentMiB()); });
    sampler.start(1000);
    rss.push_back(residentMiB());

    std::string error;
    const std::size_t from = sim.log().size();
    QElapsedTimer wall;
    wall.start();
    if (!sim.startStream({115200, std::chrono::seconds(seconds)}, error)) {
        std::fprintf(stderr, "stream: %s\n", error.c_str());
        return 1;
    }
    QEventLoop loop;
    QTimer ended;
    QObject::connect(&ended, &QTimer::timeout, [&] {
        if (sim.log().waitFor("stream_end", std::chrono::milliseconds(0), from))
            loop.quit();
    });
    ended.start(100);
    loop.exec();
    // What is still on its way: the reader's last settle, the posted blocks.
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 1000 && monitor->log().receivedBytes() < sim.streamStats().sent)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    probing = false;
    prober.join();
    QApplication::processEvents();
    sampler.stop();
    rss.push_back(residentMiB());

    const sim::StreamStats s = sim.streamStats();
    const std::uint64_t received = monitor->log().receivedBytes();
    const QString text =
        monitor->findChild<QPlainTextEdit*>(QStringLiteral("edit1064"))->toPlainText();
    const std::vector<int> tail = lastBytes(text, 1000);
    bool inOrder = !tail.empty();
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const auto want = static_cast<int>((s.sent - tail.size() + i) & 0xFF);
        inOrder = inOrder && tail[i] == want;
    }
    // rss[0] before the stream, then one sample a second, the last at the end.
    const auto at = [&rss](std::size_t second) { return rss[std::min(second, rss.size() - 1)]; };
    const double rssMaxAfter10 = *std::max_element(
        rss.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(10, rss.size() - 1)),
        rss.end());

    std::printf("Receive monitor, simulator streaming at 115200 baud for %d s (%.1f s wall)\n",
                seconds, static_cast<double>(wall.elapsed()) / 1000.0);
    std::printf("  simulator: sent %llu bytes (garbled %llu, overflow %llu, unheard %llu)\n",
                static_cast<unsigned long long>(s.sent), static_cast<unsigned long long>(s.garbled),
                static_cast<unsigned long long>(s.overflow),
                static_cast<unsigned long long>(s.unheard));
    std::printf("  monitor:   received %llu bytes; lost %lld; last 1000 bytes in order: %s\n",
                static_cast<unsigned long long>(received),
                static_cast<long long>(s.sent + s.overflow) - static_cast<long long>(received),
                inOrder ? "yes" : "no");
    std::printf("  box: %lld characters (bound %lld + %lld)\n", static_cast<long long>(text.size()),
                static_cast<long long>(MonitorLog::kKeepChars),
                static_cast<long long>(MonitorLog::kSlackChars));
    std::printf("  event loop answer, %zu probes: median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(target p99 <= 50 ms)\n",
                latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0));
    std::printf("  resident memory: before %.1f MiB; at 10 s %.1f, 30 s %.1f, end %.1f MiB; "
                "highest from 10 s on %.1f MiB\n",
                rss.front(), at(10), at(30), rss.back(), rssMaxAfter10);
    return 0;
}
