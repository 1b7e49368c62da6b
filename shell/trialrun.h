#pragma once
// The window's test send as one job for the controller worker: the code goes
// straight to the projector (link::testSend, which opens the channel with a
// handler of its own and leaves it closed), then the channel is put back as it
// was: listening for echoes on the same port at the same speed and parity
// (with the standing receive handler) when it was listening before.

#include "link/observer.h"
#include "link/serialchannel.h"
#include "link/testsend.h"

#include <stop_token>
#include <string>

namespace pj::shell {

struct TrialRun {
    link::TestSendResult result;
    bool wasListening = false;   // the channel was open before the send
    bool listeningAgain = false; // ... and has been opened again as it was
    std::string listenPort;      // where it was listening
    link::LineSettings listenLine;
    // The channel was listening and could not be opened again.
    bool listeningLost() const { return wasListening && !listeningAgain; }
};

// Runs on the calling thread (the worker). `observer` hears listening() when
// the channel listens again.
TrialRun runTrial(link::SerialChannel& channel, const link::TestSendRequest& request,
                  std::stop_token stop, link::SequenceObserver& observer);

} // namespace pj::shell
