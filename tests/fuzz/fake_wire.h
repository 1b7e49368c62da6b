#pragma once
// A controller sequence run against the in-memory port in virtual time, and
// what it wrote played into the simulated controller at the times it was
// written, with the line settings of the open in force: the link core and the
// controller must agree on every byte and pause.

#include "link/fakeserialport.h"
#include "link/serialchannel.h"
#include "sim/controller.h"

#include <memory>
#include <string_view>
#include <vector>

namespace pj::fuzz {

struct FakeWire {
    pj::link::VirtualClock clock;
    std::unique_ptr<pj::link::FakeSerialPort> owned =
        std::make_unique<pj::link::FakeSerialPort>(clock);
    pj::link::FakeSerialPort* port = owned.get(); // the channel owns it from here on
    pj::link::SerialChannel channel{std::move(owned), clock};

    // Every write, in order, into `core`. Returns the controller's events.
    std::vector<pj::sim::Event> playInto(pj::sim::ControllerCore& core) const {
        std::vector<pj::sim::Event> events;
        for (const auto& w : port->writes()) {
            const pj::sim::LineSettings line{true, w.settings.baud, w.settings.parityCode == 1};
            core.receive(w.bytes, pj::sim::SteadyTime{} + w.at, line, events);
        }
        return events;
    }
};

inline bool hasEvent(const std::vector<pj::sim::Event>& events, std::string_view kind) {
    for (const auto& e : events) {
        if (e.kind() == kind)
            return true;
    }
    return false;
}

} // namespace pj::fuzz
