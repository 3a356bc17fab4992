#pragma once

#include <ares.h>

#include <chrono>

namespace quaymark {

// Waits once for a c-ares channel's sockets, no later than the deadline, and lets c-ares
// take what came (or its timeouts).
void AwaitAres(ares_channel channel, std::chrono::steady_clock::time_point deadline);

// The c-ares library made ready, once a process.
void InitialiseAres();

}  // namespace quaymark
