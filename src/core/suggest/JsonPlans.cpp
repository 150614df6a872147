#include "core/suggest/JsonPlans.h"

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "core/monitor/Judge.h"
#include "core/monitor/PlanTestRun.h"
#include "core/suggest/SuggestParts.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {
namespace {

using Json = nlohmann::json;
using suggest::isAscii;
using suggest::regexEscape;

constexpr int kMaxDepth = 8;

// Arrays of at least three objects, by the key that names them.
void arraysOfObjects(const Json& j, const std::string& key, int depth,
                     std::vector<std::pair<std::string, const Json*>>& out) {
    if (depth > kMaxDepth) return;
    if (j.is_object()) {
        for (const auto& [k, v] : j.items()) arraysOfObjects(v, k, depth + 1, out);
    } else if (j.is_array()) {
        const bool objects =
            j.size() >= 3 && std::all_of(j.begin(), j.end(), [](const Json& e) { return e.is_object(); });
        if (objects && !key.empty()) out.emplace_back(key, &j);
        for (const Json& e : j) arraysOfObjects(e, key, depth + 1, out);
    }
}

std::optional<std::string> scalarText(const Json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_integer()) return std::to_string(v.get<long long>());
    return std::nullopt;
}

// Where the array named key ends in the raw text: the "]" that closes the "[" at open (quotes
// followed, so brackets inside strings count for nothing).
std::size_t arrayEnd(std::string_view raw, std::size_t open) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = open; i < raw.size(); ++i) {
        const char c = raw[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (--depth == 0) return i;
        }
    }
    return std::string_view::npos;
}

struct Keys {
    std::string title, link, linkTemplate;
    bool numericLink = false;
};

// The member holding the titles and the one the links are made from, with the template that
// makes every link from it.
std::optional<Keys> keysFor(const Json& array, const PlanSuggestion& rendered) {
    std::map<std::string, std::size_t> index;  // title -> position in the rendered list
    // Titles as read: the browser writes "&" in markup as "&amp;", the response as it is.
    for (std::size_t k = 0; k < rendered.titles.size(); ++k)
        index.emplace(decodeEntities(rendered.titles[k]), k);
    const auto read = [](const Json& v) {
        return decodeEntities(articleTitle(utf8ToGbk(v.get<std::string>())));
    };
    std::map<std::string, std::size_t> hits;
    for (const Json& o : array)
        for (const auto& [k, v] : o.items())
            if (v.is_string() && index.count(read(v))) hits[k]++;
    std::optional<std::string> titleKey;
    std::size_t best = 0;
    for (const auto& [k, n] : hits)
        if (n > best) best = n, titleKey = k;
    if (!titleKey || best < 3 || best < rendered.count) return std::nullopt;
    std::set<std::string> others;
    for (const auto& [k, v] : array.front().items())
        if (k != *titleKey && scalarText(v)) others.insert(k);
    for (const std::string& k : others) {
        std::optional<std::string> form;
        bool fits = true, numeric = true;
        for (const Json& o : array) {
            if (!o.contains(*titleKey) || !o[*titleKey].is_string()) continue;
            const auto at = index.find(read(o[*titleKey]));
            if (at == index.end()) continue;
            const auto value = o.contains(k) ? scalarText(o[k]) : std::nullopt;
            if (!value || value->empty()) {
                fits = false;
                break;
            }
            numeric = numeric && o[k].is_number_integer();
            const std::string link = rendered.links[at->second], v = utf8ToGbk(*value);
            const std::size_t pos = link.rfind(v);
            if (pos == std::string::npos || pos + v.size() != link.size()) {
                fits = false;
                break;
            }
            const std::string t = link.substr(0, pos) + "[L]";
            if (form && *form != t) {
                fits = false;
                break;
            }
            form = t;
        }
        if (fits && form) return Keys{*titleKey, k, *form, numeric};
    }
    return std::nullopt;
}

}  // namespace

std::optional<PlanSuggestion> directJsonPlan(const PlanSuggestion& rendered,
                                             const std::vector<PageRequest>& requests,
                                             const CancelCheck& cancel) {
    std::set<std::pair<std::string, std::string>> wanted;
    for (std::size_t k = 0; k < rendered.titles.size() && k < rendered.links.size(); ++k)
        wanted.emplace(decodeEntities(rendered.titles[k]), rendered.links[k]);
    for (const PageRequest& r : requests) {
        if (cancel && cancel()) return std::nullopt;
        // JSON by its label or by its look (servers label it text/plain or text/html too).
        const std::size_t first = r.body.find_first_not_of(" \t\r\n");
        if (r.mimeType.find("json") == std::string::npos &&
            (first == std::string::npos || (r.body[first] != '{' && r.body[first] != '[')))
            continue;
        const Json doc = Json::parse(r.body, nullptr, /*allow_exceptions=*/false);
        if (doc.is_discarded()) continue;
        std::vector<std::pair<std::string, const Json*>> arrays;
        arraysOfObjects(doc, "", 0, arrays);
        for (const auto& [key, array] : arrays) {
            const auto keys = keysFor(*array, rendered);
            if (!keys || !isAscii(key) || !isAscii(keys->title) || !isAscii(keys->link)) continue;
            // The markers: the array's key up to its "[", and what follows its "]" (no numbers).
            const std::string body = r.body;
            const std::size_t named = body.find("\"" + key + "\"");
            const std::size_t open = named == std::string::npos ? named : body.find('[', named);
            if (open == std::string::npos ||
                body.substr(named, open - named).find_first_of("{}],") != std::string::npos)
                continue;
            const std::string before = body.substr(named, open + 1 - named);
            const std::size_t end = arrayEnd(body, open);
            if (body.find(before) != named || end == std::string::npos) continue;
            std::string after;
            for (std::size_t len = 1; len <= 16 && end + len <= body.size(); ++len) {
                const std::string cand = body.substr(end, len);
                if (cand.find_first_of("0123456789\r\n") != std::string::npos) break;
                if (body.find(cand, open + 1) == end) {
                    after = cand;
                    break;
                }
            }
            if (after.empty()) continue;
            const std::string text = R"re("((?:[^"\\]|\\.)*)")re";
            const std::string link = keys->numericLink ? R"re("?(-?[0-9]+)"?)re" : text;
            const std::string t = "\"" + regexEscape(keys->title) + R"re("\s*:\s*)re";
            const std::string l = "\"" + regexEscape(keys->link) + R"re("\s*:\s*)re";
            for (const bool titleFirst : {true, false}) {
                PlanSuggestion s;
                PlanFields& f = s.fields;
                f = rendered.fields;
                f.url = utf8ToGbk(r.url);
                f.code = "0";
                f.before = storedMarker(before);
                f.after = storedMarker(after);
                f.regular =
                    titleFirst ? t + text + R"([^{}]*?)" + l + link : l + link + R"([^{}]*?)" + t + text;
                const int titleGroup = titleFirst ? 1 : 2, linkGroup = titleFirst ? 2 : 1;
                f.tindex = std::to_string(titleGroup);
                f.oindex = std::to_string(linkGroup);
                f.uindex = keys->numericLink ? std::to_string(linkGroup) : "0";
                if (keys->numericLink)
                    f.type = static_cast<int>(JudgeMode::CompareArticleId);
                else if (f.type == static_cast<int>(JudgeMode::CompareArticleId))
                    f.type = static_cast<int>(JudgeMode::TimeDescending);
                f.buquan = gbkReplaceAll(keys->linkTemplate, "[L]", "[" + std::to_string(linkGroup) + "]");
                f.render = false;
                f.jsonText = true;
                FetchResult response;
                response.body = body;
                response.status = 200;
                response.contentType = "application/json; charset=utf-8";
                const DirectFetcher same = [&response](const std::string&, const std::string&,
                                                       const std::string&,
                                                       const CancelCheck&) { return response; };
                PlanTestResult tested =
                    runPlanTest({f.regular, f.url, false, f.before, f.after, f.cookie, f.ua}, same, cancel);
                if (tested.outcome != PlanTestResult::Outcome::Matches) continue;
                std::set<std::pair<std::string, std::string>> found;
                for (TestedArticle& a : testedArticles(tested, titleGroup, textToInt(f.uindex), f.buquan,
                                                       f.url, /*jsonText=*/true)) {
                    s.titles.push_back(a.title);
                    s.links.push_back(a.url);
                    found.emplace(decodeEntities(a.title), std::move(a.url));
                }
                // Both ways on the same visit: exactly the articles the browser showed.
                if (found != wanted) continue;
                s.structure = "JSON " + key;
                s.count = tested.rows.size();
                s.sampleTitles.assign(s.titles.begin(),
                                      s.titles.begin() + std::min<std::size_t>(3, s.titles.size()));
                s.tested = std::move(tested);
                return s;
            }
        }
    }
    return std::nullopt;
}

}  // namespace tovi
