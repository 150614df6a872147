#include "core/store/Statement.h"

namespace tovi {

std::string sqlQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

std::string Statement::display() const {
    std::string out;
    out.reserve(sql.size() + 64);
    std::size_t next = 0;
    char quote = 0;  // inside a literal or quoted name, '?' is not a placeholder
    for (char c : sql) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?' && next < values.size()) {
            const SqlValue& v = values[next++];
            if (std::holds_alternative<std::int64_t>(v))
                out += std::to_string(std::get<std::int64_t>(v));
            else if (std::holds_alternative<std::string>(v))
                out += sqlQuote(std::get<std::string>(v));
            else
                out += "NULL";
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace tovi
