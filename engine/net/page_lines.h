#pragma once

#include <string>
#include <vector>

namespace quaymark {

// The lines of one answer page, in page order. A fetched line keeps its line feed as its
// last byte; carriage returns are never stored.
using PageLines = std::vector<std::string>;

}  // namespace quaymark
