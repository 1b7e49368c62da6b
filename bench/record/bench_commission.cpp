// bench_commission [PORTS] [KEYS] [RUNS]: `projector-cli commission` in the
// process against simulated controllers on ptys, in real time: one room on
// one port, then PORTS rooms on PORTS ports at once (default 8), each row
// KEYS codes (default 3), the room parameters and an ID card, recorded in a
// fresh record file. Prints the wall times and their ratio; the protocol's
// pauses are per port, so the ratio should stay near 1. Then the record on
// its own: how long PORTS threads take to record 50 keys each, their commits
// shared, against one thread.

#include "cli/record_commands.h"
#include "record/recorder.h"
#include "sim/simulator.h"

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point t0) {
    return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

// Commissions `ports` rooms, one per simulator; returns the wall time in ms.
double commission(int ports, int keys) {
    std::vector<std::unique_ptr<pj::sim::Simulator>> sims;
    QTemporaryDir dir;
    QByteArray rooms = "room,port,edition,codes,projector_baud,signal_source,card\n";
    for (int i = 0; i < ports; ++i) {
        pj::sim::SimulatorOptions o;
        o.answerByte = 0x09; // edition 2009, 19200 baud, colon-first
        auto s = std::make_unique<pj::sim::Simulator>(o);
        std::string error;
        if (!s->start(error)) {
            std::cerr << "simulator: " << error << '\n';
            std::exit(1);
        }
        std::string codes;
        for (int k = 0; k < keys; ++k)
            codes +=
                (k ? ";" : "") + std::to_string(k) + ":none:a0 0" + std::to_string(k % 10) + " 0d";
        rooms +=
            QByteArray::fromStdString("R" + std::to_string(i) + "," + s->portPath() + ",2009," +
                                      codes + ",9600,1,C" + std::to_string(i) + "\n");
        sims.push_back(std::move(s));
    }
    const QString file = dir.filePath(QStringLiteral("rooms.csv"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        std::exit(1);
    f.write(rooms);
    f.close();
    std::ostringstream out, err;
    std::istringstream in;
    pj::cli::Io io{out, err, in};
    const auto t0 = Steady::now();
    const int code = pj::cli::commissionCommand(
        {file.toStdString(), "--record", dir.filePath(QStringLiteral("r.db")).toStdString()}, io,
        pj::cli::systemLinkEnv());
    const double ms = msSince(t0);
    if (code != 0) {
        std::cerr << "commission failed:\n" << out.str() << err.str();
        std::exit(1);
    }
    return ms;
}

// `threads` threads recording `keys` keys each; returns the wall time in ms.
double recordKeys(int threads, int keys) {
    QTemporaryDir dir;
    pj::record::Recorder recorder;
    if (recorder.open(dir.filePath(QStringLiteral("r.db"))) != pj::record::OpenStatus::Opened)
        std::exit(1);
    const auto t0 = Steady::now();
    std::vector<std::thread> all;
    for (int t = 0; t < threads; ++t) {
        all.emplace_back([&recorder, keys] {
            const qint64 id = recorder.beginWrite({});
            for (int k = 0; k < keys; ++k) {
                pj::record::KeyEntry e;
                e.row = k;
                e.code = QStringLiteral("a0 01 0d");
                recorder.addKey(id, e);
            }
            recorder.finishWrite(id, pj::record::WriteOutcome::Completed, {});
        });
    }
    for (auto& t : all)
        t.join();
    return msSince(t0);
}

} // namespace

int main(int argc, char** argv) {
    const int ports = argc > 1 ? std::atoi(argv[1]) : 8;
    const int keys = argc > 2 ? std::atoi(argv[2]) : 3;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 2;
    // Each key is 400 + 900 + 900 ms of protocol pauses and two writes; the
    // room block 500 + 100 + 20 ms and two writes; the card 100 + 20 ms and
    // one write; every write is followed by the channel's 50 ms settle.
    const int writes = 2 * keys + 2 + 1;
    const double floor = keys * (400 + 2 * 900) + 620 + 120 + writes * 50;
    std::printf("commission: %d key(s), room parameters and card per row; pauses alone %.0f ms\n",
                keys, floor);
    for (int r = 0; r < runs; ++r) {
        const double one = commission(1, keys);
        const double many = commission(ports, keys);
        std::printf("run %d: 1 port %.0f ms, %d ports %.0f ms, ratio %.3f\n", r + 1, one, ports,
                    many, many / one);
    }
    const int perThread = 50;
    const double single = recordKeys(1, perThread * ports);
    const double shared = recordKeys(ports, perThread);
    std::printf("record: %d commits from 1 thread %.0f ms (%.1f ms each); from %d threads at once "
                "%.0f ms\n",
                perThread * ports + 2, single, single / (perThread * ports + 2), ports, shared);
    return 0;
}
