#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "app/announcing.h"

namespace quaymark::cli {

// What the announcer tells when it is done.
struct Report {
    const AnnounceOutcome& outcome;
    bool dryRun = false;
    ListChange list{};
    int exitStatus = 0;
};

// What went wrong, a line each on standard error, whatever the report's form.
void WriteErrors(const Report& report, std::ostream& err);
// The report for a person: what was (or would be) announced on standard output.
void WriteText(const Report& report, bool quiet, std::ostream& out);
// The report as one JSON object on standard output.
void WriteJson(const Report& report, std::ostream& out);

}  // namespace quaymark::cli
