#include "cli/commission_run.h"

#include "cli/interrupt.h"

#include "link/codetext.h"
#include "link/sequences.h"
#include "link/serialchannel.h"

#include <deque>
#include <mutex>
#include <stop_token>
#include <thread>

namespace pj::cli {

namespace {

namespace link = pj::link;

// Received blocks, from the channel's reader to the port's thread.
class Blocks {
public:
    void push(link::Bytes b) {
        std::lock_guard lock(mu_);
        blocks_.push_back(std::move(b));
    }
    std::optional<link::Bytes> pop() {
        std::lock_guard lock(mu_);
        if (blocks_.empty())
            return std::nullopt;
        link::Bytes b = std::move(blocks_.front());
        blocks_.pop_front();
        return b;
    }
    void clear() {
        std::lock_guard lock(mu_);
        blocks_.clear();
    }

private:
    std::mutex mu_;
    std::deque<link::Bytes> blocks_;
};

// A row's sequence reports, passed on as the run's events.
class RowObserver final : public link::SequenceObserver {
public:
    RowObserver(CommissionEvents& events, const PlannedRow& row, int keys)
        : events_(events)
        , row_(row)
        , total_(keys) {}
    void progress(int percent) override {
        if (total_ > 0) // the room block and the card have no keys to count
            events_.keyProgress(row_, done_, total_, percent);
    }
    void rowWritten(std::size_t row) override {
        ++done_;
        events_.keyWritten(row_, row);
    }
    void message(const std::string& text) override { events_.message(row_, text); }
    // The speed was warned about when the file was checked.
    bool confirmApproximateBaud(std::uint32_t, const std::string&) override { return true; }
    int written() const { return done_; }

private:
    CommissionEvents& events_;
    const PlannedRow& row_;
    int total_;
    int done_ = 0;
};

struct PortRun {
    const LinkEnv& env;
    CliRecord& record;
    CommissionEvents& events;
    const CommissionOptions& options;
    link::SerialChannel& channel;
    Blocks& blocks;
    std::stop_token stop;

    bool stopping() const { return stop.stop_requested(); }

    record::WriteStart startOf(record::WriteKind kind, const PlannedRow& row,
                               const link::ShellState& shell) const {
        record::WriteStart s = record.start(kind, shell);
        s.room = QString::fromStdString(row.room);
        return s;
    }

    // Listens for echoes until every written key came back or the time is up.
    int collectEchoes(const PlannedRow& row, link::SelectedModel& model, RecordedWrite& write) {
        std::vector<bool> confirmed(model.rows.size(), false);
        std::size_t expected = 0;
        for (const auto& r : model.rows)
            expected += r.selected ? 1 : 0;
        std::size_t got = 0;
        link::Clock& clock = *env.clock;
        const link::Millis deadline = clock.now() + options.waitEcho;
        while (got < expected && clock.now() < deadline && !stopping() && !channel.deviceLost()) {
            while (auto block = blocks.pop()) {
                const auto i = link::matchEcho(model.rows, *block);
                if (!i || confirmed[*i] || !model.rows[*i].selected)
                    continue;
                confirmed[*i] = true;
                ++got;
                write.echo(static_cast<int>(*i), model.rows[*i], *block);
                events.keyConfirmed(row, *i);
            }
            clock.sleep(std::min(link::Millis{10}, deadline - clock.now()));
        }
        return static_cast<int>(got);
    }

    RowResult run(const PlannedRow& row) {
        RowResult result;
        events.rowStarted(row);
        link::ShellState shell = row.shell;
        std::uint32_t listenBaud = 9600;
        if (row.codes) {
            events.step(row, CommissionStep::Codes);
            link::SelectedModel model = *row.codes;
            listenBaud = model.selectedBaud;
            int keys = 0;
            for (const auto& r : model.rows)
                keys += r.selected ? 1 : 0;
            record::WriteStart start = startOf(record::WriteKind::Codes, row, shell);
            start.company = QString::fromStdString(row.company);
            start.model = QString::fromStdString(row.model);
            start.projectorBaud = model.selectedBaud;
            RecordedWrite write(record, start);
            RowObserver observer(events, row, keys);
            blocks.clear();
            const auto r = link::writeSelectedCodes(channel, shell, model,
                                                    write.observe(model.rows, observer), stop);
            write.done(r);
            result.keysWritten = observer.written();
            if (!r.ok()) {
                result.message = r.message.empty() ? "写码未完成" : r.message;
                return result;
            }
            if (options.waitEcho.count() > 0 && r.listening) {
                events.step(row, CommissionStep::Echoes);
                result.keysConfirmed = collectEchoes(row, model, write);
            }
        }
        if (row.parameters && !stopping()) {
            events.step(row, CommissionStep::Room);
            record::WriteStart start = startOf(record::WriteKind::Room, row, shell);
            start.roomBlock = record::roomBlockText(link::buildRoomBlock(*row.parameters));
            RecordedWrite write(record, start);
            RowObserver observer(events, row, 0);
            const auto r = link::writeRoomParameters(channel, shell, *row.parameters, listenBaud,
                                                     observer, stop);
            write.done(r);
            if (!r.ok()) {
                result.message = r.outcome == link::SequenceOutcome::Stopped ? "已中断" : r.message;
                return result;
            }
        }
        if (row.card && !stopping()) {
            events.step(row, CommissionStep::Card);
            record::WriteStart start = startOf(record::WriteKind::Card, row, shell);
            start.card = QString::fromStdString(*row.card);
            RecordedWrite write(record, start);
            RowObserver observer(events, row, 0);
            const auto r = link::writeIdCard(channel, shell, *row.card, observer, stop);
            write.done(r);
            if (!r.ok()) {
                result.message = r.outcome == link::SequenceOutcome::Stopped ? "已中断" : r.message;
                return result;
            }
        }
        channel.close();
        if (stopping()) {
            result.message = "已中断";
            return result;
        }
        result.done = true;
        return result;
    }
};

} // namespace

std::vector<RowResult> runCommission(const CommissionPlan& plan, const LinkEnv& env,
                                     CliRecord& record, CommissionEvents& events,
                                     const CommissionOptions& options) {
    std::vector<RowResult> results(plan.rows.size());
    // The stop request reaches every port's sequence through one token.
    StopRelay stop(env);
    std::vector<std::thread> threads;
    for (const auto& group : plan.byPort()) {
        threads.emplace_back([&, group] {
            Blocks blocks;
            link::SerialChannel channel(env.makePort(), stop.clock());
            const PlannedRow* current = nullptr;
            std::mutex currentMu;
            channel.setMessageSink([&](const std::string& text) {
                std::lock_guard lock(currentMu);
                if (current)
                    events.message(*current, text);
            });
            channel.setReceiveHandler([&blocks](link::Bytes b) { blocks.push(std::move(b)); });
            PortRun port{env, record, events, options, channel, blocks, stop.token()};
            bool first = true;
            for (std::size_t index : group) {
                const PlannedRow& row = plan.rows[index];
                RowResult& result = results[index];
                if (port.stopping()) {
                    result.message = "已中断，未执行";
                } else if (options.pause && !first && !events.waitForNext(row)) {
                    result.message = "未执行";
                } else {
                    {
                        std::lock_guard lock(currentMu);
                        current = &row;
                    }
                    result = port.run(row);
                    channel.close();
                }
                first = false;
                events.rowFinished(row, result);
            }
            channel.close();
            std::lock_guard lock(currentMu);
            current = nullptr;
        });
    }
    for (auto& t : threads)
        t.join();
    return results;
}

} // namespace pj::cli
