#pragma once
// Line speeds as plain numbers on a terminal descriptor, including speeds that
// have no B constant (14400, 250000): Linux takes and reports any speed
// through termios2 with BOTHER. Used by the termios port and by the simulator,
// which reads its client's speed from the pseudo-terminal.

#include <cstdint>

namespace pj::link::posix {

// Sets `baud` as the input and output speed of the open terminal `fd`, whose
// other settings are already applied. Returns 0, or the errno of the failure:
// EINVAL for 0 (that speed hangs the line up), where the platform cannot set a
// speed by number, or when the driver's nearest speed is further off than a
// receiver tolerates (3 %).
int setSpeedByNumber(int fd, std::uint32_t baud);

// The terminal's output speed in bits per second; 0 when it cannot be told.
std::uint32_t lineSpeed(int fd);

} // namespace pj::link::posix
