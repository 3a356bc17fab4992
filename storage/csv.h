#pragma once

#include <string>
#include <vector>

namespace quaymark {

// Rows as RFC 4180 has them: fields separated by commas, records ended by CR LF, a field
// that holds a comma, a quote or a line break in quotes with its quotes doubled.
std::string FormatCsv(const std::vector<std::vector<std::string>>& rows);

}  // namespace quaymark
