#pragma once

#include <filesystem>

#include "storage/atomic_file.h"
#include "storage/list_lock.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark {

// The user's profile: the list, the history, the settings and keys in the program's own
// directories (storage/program_paths.h) and the locks that keep two programs from meeting in
// them. The channels, as the settings give them, are app/channel_setup.h's.

}  // namespace quaymark
