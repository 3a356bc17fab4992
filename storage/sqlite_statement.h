#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

// The history's own small helpers over SQLite's statements, shared by its files.
namespace quaymark::sqlite {

struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

inline Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

inline void Bind(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

inline std::string Column(sqlite3_stmt* statement, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return text == nullptr
               ? std::string()
               : std::string(text,
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
}

// Runs a query, handing each row on.
template <typename EachRow>
void ForEachRow(sqlite3* db, const char* sql, std::initializer_list<std::string> parameters,
                EachRow eachRow) {
    const Statement statement = Prepare(db, sql);
    int index = 0;
    for (const std::string& parameter : parameters) {
        Bind(statement.get(), ++index, parameter);
    }
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
        eachRow(statement.get());
    }
}

inline std::int64_t Integer(sqlite3* db, const char* sql) {
    const Statement statement = Prepare(db, sql);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW
               ? sqlite3_column_int64(statement.get(), 0)
               : 0;
}

// The tables, indexes and triggers a database declares, each as "type name: column,...".

}  // namespace quaymark::sqlite
