#include "core/monitor/Pipeline.h"

#include <boost/regex.hpp>
#include <cstring>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

JudgeMode judgeModeFromText(std::string_view typeText) {
    switch (TextToInt(typeText)) {
        case 2:
            return JudgeMode::TimeAscending;
        case 8:
            return JudgeMode::CompareArticleId;
        default:
            return JudgeMode::TimeDescending;
    }
}

namespace {

// One left-to-right pass over s in place: at every `key` byte, `step` decides how many bytes
// to drop there (0 keeps the byte). Runs between keys move as blocks, found with memchr.
template <typename Step>
void compactAt(std::string& s, char key, Step step) {
    char* data = s.data();
    const std::size_t size = s.size();
    std::size_t read = 0, write = 0;
    while (read < size) {
        const void* hit = std::memchr(data + read, key, size - read);
        std::size_t at = hit ? static_cast<const char*>(hit) - data : size;
        if (write != read) std::memmove(data + write, data + read, at - read);
        write += at - read;
        read = at;
        if (read >= size) break;
        std::size_t drop = step(data, read, size);
        if (drop == 0)
            data[write++] = data[read++];
        else
            read += drop;
    }
    s.resize(write);
}

}  // namespace

std::string cleanSource(std::string_view source) {
    // CR, LF, tab and space never occur as trail bytes of GBK characters, so plain byte passes
    // are safe here. Each pass is one left-to-right pass over the whole text, in this order.
    std::string s(source);
    compactAt(s, '\r', [](const char* d, std::size_t i, std::size_t n) -> std::size_t {
        return i + 1 < n && d[i + 1] == '\n' ? 2 : 0;
    });
    compactAt(s, '\t', [](const char*, std::size_t, std::size_t) -> std::size_t { return 1; });
    // A pair of spaces becomes one: drop the first, keep the second, then go on after the pair.
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t pair = s.find("  ", pos);
        if (pair == std::string::npos) {
            out.append(s, pos, std::string::npos);
            break;
        }
        out.append(s, pos, pair - pos + 1);
        pos = pair + 2;
    }
    return out;
}

std::string widenedRegion(std::string_view source, std::string_view before, std::string_view after,
                          JudgeMode mode) {
    static const std::string quoteToken = gbk("#引号");
    const std::string start = gbkReplaceAll(before, quoteToken, "\"");
    std::size_t startPos = start.empty() ? 0 : gbkFind(source, start);
    if (mode == JudgeMode::TimeDescending) {
        if (startPos == kNotFound) return {};
        return std::string(source.substr(startPos + start.size()));
    }
    std::size_t from = startPos == kNotFound ? 0 : startPos + start.size();
    const std::string end = gbkReplaceAll(after, quoteToken, "\"");
    if (end.empty()) return {};
    std::size_t endPos = gbkFind(source, end, from);
    return endPos == kNotFound ? std::string() : std::string(source.substr(from, endPos - from));
}

struct Expression::Compiled {
    boost::regex rx;
};

struct ExpressionAccess {
    static const boost::regex& regex(const Expression& e) { return e.m_regex->rx; }
};

Expression Expression::compile(std::string_view text) {
    Expression e;
    try {
        auto rx = std::make_shared<const Compiled>(
            Compiled{boost::regex(text.begin(), text.end(), boost::regex::perl | boost::regex::icase)});
        e.m_groupCount = static_cast<int>(rx->rx.mark_count());
        e.m_regex = std::move(rx);
    } catch (const std::exception& ex) {
        e.m_error = ex.what();
    }
    return e;
}

MatchResult matchAll(const Expression& expression, std::string_view text, const MatchLimits& limits) {
    MatchResult result;
    if (!expression.ok()) {
        result.error = expression.error();
        return result;
    }
    result.groupCount = expression.groupCount();
    const auto deadline = std::chrono::steady_clock::now() + limits.budget;
    try {
        boost::cregex_iterator it(text.data(), text.data() + text.size(),
                                  ExpressionAccess::regex(expression)),
            end;
        for (; it != end; ++it) {
            Match m;
            m.groups.reserve(it->size());
            for (std::size_t g = 0; g < it->size(); ++g)
                m.groups.push_back((*it)[g].matched ? (*it)[g].str() : std::string());
            result.matches.push_back(std::move(m));
            if (limits.cancel && limits.cancel()) {
                result.cancelled = true;
                return result;
            }
            if (limits.budget.count() > 0 && std::chrono::steady_clock::now() > deadline) {
                result.overBudget = true;
                return result;
            }
        }
    } catch (const std::exception& e) {
        // The library's complexity limit: no matches, with the reason.
        result.matches.clear();
        result.error = e.what();
    }
    return result;
}

MatchResult matchAll(std::string_view expression, std::string_view text, const MatchLimits& limits) {
    return matchAll(Expression::compile(expression), text, limits);
}

const std::string& groupText(const Match& match, std::int64_t k) {
    static const std::string empty;
    if (k < 0 || k >= static_cast<std::int64_t>(match.groups.size())) return empty;
    return match.groups[static_cast<std::size_t>(k)];
}

std::string composeUrl(std::string_view urlTemplate, const Match& match) {
    // The references are the template's segments; each "[p]" of the template itself is replaced
    // where it stands, so text that came from a group is never searched again.
    std::vector<std::string> references;
    for (const std::string& p : SegmentsBetween(urlTemplate, "[", "]")) references.push_back("[" + p + "]");
    std::string url;
    url.reserve(urlTemplate.size() + 64);
    for (std::size_t pos = 0; pos < urlTemplate.size();) {
        bool replaced = false;
        if (urlTemplate[pos] == '[') {
            for (const std::string& ref : references)
                if (urlTemplate.compare(pos, ref.size(), ref) == 0) {
                    url += groupText(match, TextToInt(std::string_view(ref).substr(1, ref.size() - 2)));
                    pos += ref.size();
                    replaced = true;
                    break;
                }
        }
        if (!replaced) {
            std::size_t len = gbkCharLength(urlTemplate, pos);
            url.append(urlTemplate, pos, len);
            pos += len;
        }
    }
    return url;
}

}  // namespace tovi
