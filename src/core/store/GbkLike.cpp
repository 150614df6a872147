#include "core/store/GbkLike.h"

#include <sqlite3.h>

#include "core/text/Entities.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool sameChar(std::string_view a, std::size_t ai, std::size_t alen, std::string_view b, std::size_t bi,
              std::size_t blen) {
    if (alen != blen) return false;
    if (alen == 2) return a[ai] == b[bi] && a[ai + 1] == b[bi + 1];
    return fold(a[ai]) == fold(b[bi]);
}

template <bool (*Compare)(std::string_view, std::string_view)>
void compareFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc < 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL ||
        sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    int plen = sqlite3_value_bytes(argv[0]);
    auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    int tlen = sqlite3_value_bytes(argv[1]);
    sqlite3_result_int(ctx, Compare({p ? p : "", static_cast<std::size_t>(plen)},
                                    {t ? t : "", static_cast<std::size_t>(tlen)}));
}

}  // namespace

bool gbkLike(std::string_view pattern, std::string_view text) {
    // Iterative wildcard match with one backtrack point for the last '%'.
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        std::size_t tlen = gbkCharLength(text, t);
        if (p < pattern.size()) {
            std::size_t plen = gbkCharLength(pattern, p);
            if (plen == 1 && pattern[p] == '%') {
                starP = ++p;
                starT = t;
                continue;
            }
            if ((plen == 1 && pattern[p] == '_') || sameChar(pattern, p, plen, text, t, tlen)) {
                p += plen;
                t += tlen;
                continue;
            }
        }
        if (starP == std::string_view::npos) return false;
        // Let the last '%' swallow one more character and retry from there.
        starT += gbkCharLength(text, starT);
        t = starT;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

bool gbkContains(std::string_view words, std::string_view text) {
    for (std::size_t start = 0;; start += gbkCharLength(text, start)) {
        std::size_t w = 0, t = start;
        while (w < words.size() && t < text.size()) {
            const std::size_t wlen = gbkCharLength(words, w), tlen = gbkCharLength(text, t);
            if (!sameChar(words, w, wlen, text, t, tlen)) break;
            w += wlen;
            t += tlen;
        }
        if (w >= words.size()) return true;
        if (start >= text.size()) return false;
    }
}

// display_text(x): a title as people read it, for searching by what the list shows.
void displayTextFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string shown =
        decodeEntities(std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))));
    sqlite3_result_text(ctx, shown.data(), static_cast<int>(shown.size()), SQLITE_TRANSIENT);
}

void registerGbkLike(sqlite3* db) {
    sqlite3_create_function(db, "display_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            displayTextFunction, nullptr, nullptr);
    sqlite3_create_function(db, "gbk_contains", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            compareFunction<gbkContains>, nullptr, nullptr);
    sqlite3_create_function(db, "gbk_like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            compareFunction<gbkLike>, nullptr, nullptr);
}

}  // namespace tovi
