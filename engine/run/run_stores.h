#pragma once

#include "engine/channel/channel.h"
#include "engine/channel/quota_memory.h"
#include "engine/google/google_memory.h"
#include "engine/run/announce_memory.h"

namespace quaymark {

struct SubmitJob;

// Everything a run remembers: its requests and checks, each channel's memory, and what
// Announce Changes keeps of the sites. Attach hands a job what its channels remember with.
// A channel that remembers more than its requests declares its memory in its own room and has
// a member here, filled in Attach; the history's side of it is in history_log.h.
class RunStores {
public:
    virtual ~RunStores() = default;
    virtual RequestLog& requests() = 0;
    virtual GoogleMemory& google() = 0;
    virtual QuotaMemory& quotas() = 0;
    virtual AnnounceMemory& sites() = 0;
    void Attach(SubmitJob& job);
};

}  // namespace quaymark
