#include "storage/csv.h"

namespace quaymark {

std::string FormatCsv(const std::vector<std::vector<std::string>>& rows) {
    std::string csv;
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) {
                csv += ',';
            }
            const std::string& field = row[i];
            if (field.find_first_of(",\"\r\n") == std::string::npos) {
                csv += field;
                continue;
            }
            csv += '"';
            for (const char c : field) {
                csv += c;
                if (c == '"') {
                    csv += '"';
                }
            }
            csv += '"';
        }
        csv += "\r\n";
    }
    return csv;
}

}  // namespace quaymark
