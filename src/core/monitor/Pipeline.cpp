#include "core/monitor/Pipeline.h"

#include <boost/regex.hpp>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

JudgeMode judgeModeFromText(std::string_view typeText) {
    switch (TextToInt(typeText)) {
        case 2: return JudgeMode::TimeAscending;
        case 8: return JudgeMode::CompareArticleId;
        default: return JudgeMode::TimeDescending;
    }
}

std::string cleanSource(std::string_view source) {
    // CR, LF, tab and space never occur as trail bytes of GBK characters, so plain byte passes
    // are safe here.
    std::string a;
    a.reserve(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '\r' && i + 1 < source.size() && source[i + 1] == '\n') {
            ++i;
            continue;
        }
        a.push_back(source[i]);
    }
    std::string b;
    b.reserve(a.size());
    for (char c : a)
        if (c != '\t') b.push_back(c);
    std::string c;
    c.reserve(b.size());
    for (std::size_t i = 0; i < b.size(); ++i) {
        c.push_back(b[i]);
        if (b[i] == ' ' && i + 1 < b.size() && b[i + 1] == ' ') ++i;
    }
    return c;
}

CutResult cutRegion(std::string_view source, std::string_view before, std::string_view after,
                    std::string_view lastArticleMarker, JudgeMode mode) {
    CutResult result;
    if (mode != JudgeMode::CompareArticleId && !lastArticleMarker.empty()) {
        static const std::string quoteToken = gbk("#引号");
        const std::string start = gbkReplaceAll(before, quoteToken, "\"");
        std::size_t startPos = start.empty() ? 0 : gbkFind(source, start);
        if (startPos != kNotFound) {
            std::size_t regionStart = startPos + start.size();
            std::size_t markerPos = gbkFind(source, lastArticleMarker, regionStart);
            if (markerPos != kNotFound) {
                result.markerFound = true;
                if (mode == JudgeMode::TimeAscending)
                    result.region = TextBetween(source.substr(regionStart), lastArticleMarker, after);
                else
                    result.region = std::string(source.substr(regionStart, markerPos - regionStart));
                return result;
            }
        }
    }
    result.region = TextBetween(source, before, after);
    return result;
}

MatchResult matchAll(std::string_view expression, std::string_view text) {
    MatchResult result;
    try {
        boost::regex rx(expression.begin(), expression.end(), boost::regex::perl | boost::regex::icase);
        result.groupCount = static_cast<int>(rx.mark_count());
        boost::cregex_iterator it(text.data(), text.data() + text.size(), rx), end;
        for (; it != end; ++it) {
            Match m;
            m.groups.reserve(it->size());
            for (std::size_t g = 0; g < it->size(); ++g)
                m.groups.push_back((*it)[g].matched ? (*it)[g].str() : std::string());
            result.matches.push_back(std::move(m));
        }
    } catch (const std::exception& e) {
        // A compile error or the library's complexity limit: no matches, with the reason.
        result.matches.clear();
        result.error = e.what();
    }
    return result;
}

const std::string& groupText(const Match& match, std::int64_t k) {
    static const std::string empty;
    if (k < 0 || k >= static_cast<std::int64_t>(match.groups.size())) return empty;
    return match.groups[static_cast<std::size_t>(k)];
}

std::string composeUrl(std::string_view urlTemplate, const Match& match) {
    std::string url(urlTemplate);
    for (const std::string& p : SegmentsBetween(urlTemplate, "[", "]"))
        url = gbkReplaceAll(url, "[" + p + "]", groupText(match, TextToInt(p)));
    return url;
}

}  // namespace tovi
