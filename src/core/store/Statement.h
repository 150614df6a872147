#pragma once
// A statement with its values bound at '?' placeholders, so quotes or SQL in a title, URL or
// name are stored exactly and can change nothing else.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tovi {

using SqlValue = std::variant<std::monostate, std::int64_t, std::string>;

struct Statement {
    std::string sql;
    std::vector<SqlValue> values;

    Statement() = default;
    Statement(std::string text) : sql(std::move(text)) {}  // NOLINT: a plain text is a statement
    Statement(const char* text) : sql(text) {}             // NOLINT
    Statement(std::string text, std::vector<SqlValue> bound)
        : sql(std::move(text)), values(std::move(bound)) {}

    // The statement with its values written in as SQLite would read them ('' for a quote
    // inside a text), for the status box and for SQL exports.
    std::string display() const;
};

// A text as an SQL literal: 'it''s'.
std::string sqlQuote(const std::string& text);

}  // namespace tovi
