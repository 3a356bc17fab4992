#pragma once

#include <atomic>
#include <cstdint>

namespace quaymark {

// Process-wide variables of a submission run. Only one run can be under way at a time.
// The worker publishes its end with release stores in the order RunFailedFlag, CancelFlag,
// WorkerDoneFlag; the starter reads them with acquire loads, so once it sees CancelFlag or
// WorkerDoneFlag set it also sees the final RunFailedFlag and the result lists.
extern std::atomic<bool> CancelFlag;
extern std::atomic<bool> RunFailedFlag;
extern std::atomic<bool> WorkerDoneFlag;
extern std::atomic<std::int32_t> ErrorPageCounter;

// Sets the three flags and the error page counter to zero before a run starts.
void ResetRunVariables();

}  // namespace quaymark
