#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "storage/history.h"
#include "storage/sqlite_statement.h"

// How the history's files write rows: shared by the files of the history alone.
namespace quaymark {

// One step of a prepared statement, made ready for the next.
inline bool StepOnce(sqlite3_stmt* statement) {
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return done;
}

inline void BindOptional(sqlite3_stmt* s, int index, std::optional<std::int64_t> value) {
    if (value) {
        sqlite3_bind_int64(s, index, *value);
    } else {
        sqlite3_bind_null(s, index);
    }
}

inline std::optional<std::int64_t> OptionalColumn(sqlite3_stmt* s, int index) {
    if (sqlite3_column_type(s, index) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int64(s, index);
}

template <typename Row, typename BindRow>
std::string History::WriteRows(const char* sql, const std::vector<Row>& rows, BindRow bindRow) {
    return InTransaction([&] {
        const sqlite::Statement statement = sqlite::Prepare(db_, sql);
        if (!statement) {
            return false;
        }
        return std::all_of(rows.begin(), rows.end(), [&](const Row& row) {
            bindRow(statement.get(), row);
            return StepOnce(statement.get());
        });
    });
}

}  // namespace quaymark
