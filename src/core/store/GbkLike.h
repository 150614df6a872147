#pragma once
// LIKE over GBK titles. SQLite's own LIKE reads the stored bytes as UTF-8, which finds wrong
// rows in GBK text and folds letter case inside double-byte characters. gbk_like(pattern,
// text) compares whole GBK characters: % and _ are wildcards (_ is one character), ASCII
// letters match regardless of case, double-byte characters must be identical.
#include <string_view>

struct sqlite3;

namespace tovi {

bool gbkLike(std::string_view pattern, std::string_view text);
// Whether the text holds the words as typed (no wildcards: a '%' or '_' is itself), compared as
// gbkLike compares characters.
bool gbkContains(std::string_view words, std::string_view text);

// Registers gbk_like(pattern, text) and gbk_contains(words, text) on the connection.
void registerGbkLike(sqlite3* db);

}  // namespace tovi
