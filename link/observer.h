#pragma once
// How a controller sequence tells its caller what happens. The sequences run
// on whatever thread calls them (the window program runs them on a worker and
// re-posts these calls to its own thread); every method has a default that
// does nothing, so an observer overrides only what it shows.

#include "link/serialport.h"
#include "link/state.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pj::link {

class SequenceObserver {
public:
    virtual ~SequenceObserver() = default;

    // Progress bar, 0..100.
    virtual void progress(int percent) { (void)percent; }
    // A row's status icon changed (question mark after writing).
    virtual void rowStatus(std::size_t row, RowStatus status) {
        (void)row;
        (void)status;
    }
    // A row's frame has gone out completely.
    virtual void rowWritten(std::size_t row) { (void)row; }
    // A row was not sent; `reason` is the user's text ("功能码过长（最多61字节）").
    virtual void rowRefused(std::size_t row, const std::string& reason) {
        (void)row;
        (void)reason;
    }
    // A failure or notice for a message box (the CLI prints it on stderr).
    virtual void message(const std::string& text) { (void)text; }
    // The channel was reopened to listen for echoes at these settings.
    virtual void listening(std::uint32_t baud, Parity parity) {
        (void)baud;
        (void)parity;
    }
    // The edition can only approximate the projector's speed (group A, a speed
    // outside 1200..38400 is sent as 0xFF, i.e. 38400). Return true to go on,
    // false to cancel the write. `question` is the text to show.
    virtual bool confirmApproximateBaud(std::uint32_t baud, const std::string& question) {
        (void)baud;
        (void)question;
        return true;
    }
};

} // namespace pj::link
