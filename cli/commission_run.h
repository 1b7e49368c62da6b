#pragma once
// Running a checked rooms file: one thread per port, the rows of a port one
// after the other, each row's codes, room parameters and ID card written with
// the link core's sequences and recorded as they go. A row that fails (a
// pulled adapter, a port that cannot be opened) fails alone; the other ports
// go on. The protocol's pauses are per port, so eight ports take about as long
// as one.

#include "cli/commission_plan.h"
#include "cli/link_commands.h"
#include "cli/recording.h"

#include <functional>
#include <string>
#include <vector>

namespace pj::cli {

struct CommissionOptions {
    // Before each row after the first on a port, wait until the next
    // controller is plugged in (CommissionEvents::waitForNext).
    bool pause = false;
    // How long each row listens for echoes after its codes (0: not at all).
    pj::link::Millis waitEcho{0};
};

struct RowResult {
    bool done = false; // every write of the row went through
    std::string message;
    int keysWritten = 0;
    int keysConfirmed = 0;
};

enum class CommissionStep { Codes, Echoes, Room, Card };

// What the run reports, from the port threads (implementations lock).
class CommissionEvents {
public:
    virtual ~CommissionEvents() = default;
    virtual void rowStarted(const PlannedRow& row) { (void)row; }
    virtual void step(const PlannedRow& row, CommissionStep step) {
        (void)row;
        (void)step;
    }
    // The code write's progress: `done` of `total` keys, the current one at `percent`.
    virtual void keyProgress(const PlannedRow& row, int done, int total, int percent) {
        (void)row;
        (void)done;
        (void)total;
        (void)percent;
    }
    virtual void keyWritten(const PlannedRow& row, std::size_t key) {
        (void)row;
        (void)key;
    }
    virtual void keyConfirmed(const PlannedRow& row, std::size_t key) {
        (void)row;
        (void)key;
    }
    virtual void message(const PlannedRow& row, const std::string& text) {
        (void)row;
        (void)text;
    }
    virtual void rowFinished(const PlannedRow& row, const RowResult& result) {
        (void)row;
        (void)result;
    }
    // --pause: returns once the controller for `next` is plugged in; false
    // leaves the port's remaining rows undone.
    virtual bool waitForNext(const PlannedRow& next) {
        (void)next;
        return true;
    }
};

// Results in the plan's row order. stopRequested(env) ends the run: each port
// stops at its next pause (a frame begun is finished first) and rows not begun
// are not done.
std::vector<RowResult> runCommission(const CommissionPlan& plan, const LinkEnv& env,
                                     CliRecord& record, CommissionEvents& events,
                                     const CommissionOptions& options);

} // namespace pj::cli
