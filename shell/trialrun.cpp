#include "shell/trialrun.h"

namespace pj::shell {

TrialRun runTrial(link::SerialChannel& channel, const link::TestSendRequest& request,
                  std::stop_token stop, link::SequenceObserver& observer) {
    TrialRun run;
    run.wasListening = channel.isOpen() && !channel.deviceLost();
    if (run.wasListening) {
        run.listenPort = channel.portName();
        run.listenLine = channel.settings();
    }
    run.result = link::testSend(channel, request, std::move(stop));
    if (run.wasListening &&
        channel.open(run.listenPort, run.listenLine) == link::OpenResult::Opened) {
        run.listeningAgain = true;
        observer.listening(run.listenLine.baud, link::parityFromCode(run.listenLine.parityCode));
    }
    return run;
}

} // namespace pj::shell
