#include "engine/run_state.h"

namespace quaymark {

std::atomic<bool> CancelFlag{false};
std::atomic<bool> RunFailedFlag{false};
std::atomic<bool> WorkerDoneFlag{false};
std::atomic<std::int32_t> ErrorPageCounter{0};

void ResetRunVariables() {
    CancelFlag.store(false, std::memory_order_release);
    RunFailedFlag.store(false, std::memory_order_release);
    WorkerDoneFlag.store(false, std::memory_order_release);
    ErrorPageCounter.store(0, std::memory_order_release);
}

}  // namespace quaymark
