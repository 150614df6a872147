#include "core/monitor/Judge.h"

#include <cctype>

#include "core/text/TextToInt.h"

namespace tovi {
namespace {

Candidate candidateOf(const Match& match, std::size_t index, const JudgeRules& rules) {
    Candidate c;
    c.pageIndex = index;
    Match read;
    const Match& m = rules.jsonText ? (read = jsonStringsRead(match)) : match;
    c.title = articleTitle(groupText(m, rules.titleGroup));
    c.url = articleUrl(rules.urlTemplate, m, rules.linkBase);
    c.other = groupText(m, rules.otherGroup);
    return c;
}

}  // namespace

std::string articleTitle(std::string_view text) {
    if (text.find('<') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const bool opensTag = text[i] == '<' && i + 1 < text.size() &&
                              (std::isalpha(static_cast<unsigned char>(text[i + 1])) ||
                               (text[i + 1] == '/' && i + 2 < text.size() &&
                                std::isalpha(static_cast<unsigned char>(text[i + 2]))));
        const std::size_t gt = opensTag ? text.find('>', i) : std::string_view::npos;
        if (gt == std::string_view::npos) {
            out += text[i++];
            continue;
        }
        i = gt + 1;
    }
    return out;
}

Judgement judgeMatches(const std::vector<Match>& matches, const JudgeRules& rules) {
    Judgement j;
    j.highestId = rules.lastId;
    const std::size_t n = matches.size();
    if (rules.mode == JudgeMode::CompareArticleId) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& idText = groupText(matches[i], rules.idGroup);
            auto id = textToIntChecked(idText);
            if (!id) {
                j.refusedIds.push_back(idText);
                continue;
            }
            if (*id <= rules.lastId) continue;
            if (*id > j.highestId) j.highestId = *id;
            Candidate c = candidateOf(matches[i], i, rules);
            c.articleId = *id;
            j.candidates.push_back(std::move(c));
        }
        return j;
    }
    // The range of matches that may be new.
    std::size_t from = 0, to = n;
    // A marker written before titles lost their tags is compared as it would be written now.
    const std::string marker = articleTitle(rules.marker);
    if (!marker.empty()) {
        if (rules.mode == JudgeMode::TimeAscending) {
            for (std::size_t i = n; i-- > 0;)
                if (articleTitle(groupText(matches[i], rules.titleGroup)) == marker) {
                    j.markerFound = true;
                    from = i + 1;
                    break;
                }
        } else {
            for (std::size_t i = 0; i < n; ++i)
                if (articleTitle(groupText(matches[i], rules.titleGroup)) == marker) {
                    j.markerFound = true;
                    to = i;
                    break;
                }
        }
    }
    for (std::size_t i = from; i < to; ++i) j.candidates.push_back(candidateOf(matches[i], i, rules));
    if (j.markerFound && rules.mode == JudgeMode::TimeDescending)
        for (std::size_t i = to + 1; i < n; ++i) j.belowMarker.push_back(candidateOf(matches[i], i, rules));
    return j;
}

int newestWithTitle(const std::vector<Candidate>& candidates, const std::vector<bool>& chosen,
                    JudgeMode mode) {
    int best = -1;
    for (int i = 0; i < static_cast<int>(candidates.size()); ++i) {
        if (!chosen[i] || candidates[i].title.empty()) continue;
        if (best < 0) {
            best = i;
            continue;
        }
        switch (mode) {
            case JudgeMode::TimeAscending:
                best = i;  // the last in page order
                break;
            case JudgeMode::CompareArticleId:
                if (candidates[i].articleId > candidates[best].articleId) best = i;
                break;
            case JudgeMode::TimeDescending:
                break;  // the first in page order
        }
    }
    return best;
}

}  // namespace tovi
