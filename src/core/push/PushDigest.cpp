#include "core/push/PushDigest.h"

#include <nlohmann/json.hpp>

#include "core/articles/AtomFeed.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

constexpr std::size_t kTitleBytes = 300;  // a title longer than this is cut (UTF-8 bytes)
constexpr std::size_t kLinkBytes = 2000;  // a longer link is left out: a cut link leads nowhere
constexpr std::size_t kNameBytes = 120;

std::string u8(const std::string& gbkText) { return gbkToUtf8(gbkText); }

std::string shortened(const std::string& utf8, std::size_t limit) {
    if (utf8.size() <= limit) return utf8;
    return utf8Prefix(utf8, limit - 3) + "\xE2\x80\xA6";  // …
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return s;
}

struct Listed {
    std::string title, url;  // UTF-8, as a reader sees them
};

struct Group {
    PushEvent::Kind kind;
    int planId = 0;
    std::string name;  // UTF-8
    int total = 0;
    std::vector<Listed> articles;  // newest first
    std::string line;              // health
    std::vector<std::int64_t> ids;
};

std::vector<Group> groupsOf(const std::vector<PushEvent>& events) {
    std::vector<Group> groups;
    for (const PushEvent& e : events) {
        Group* into = nullptr;
        if (e.kind == PushEvent::Kind::NewArticles)
            for (Group& g : groups)
                if (g.kind == e.kind && g.planId == e.planId) into = &g;
        if (!into) {
            into = &groups.emplace_back();
            into->kind = e.kind;
            into->planId = e.planId;
        }
        into->name = shortened(oneLine(u8(e.planName)), kNameBytes);
        into->ids.push_back(e.id);
        if (e.kind == PushEvent::Kind::Health) {
            into->line = shortened(oneLine(u8(e.lines)), 1000);
            into->total = e.total;
            continue;
        }
        into->total += e.total;
        // A later event holds newer articles: they come first.
        std::vector<Listed> newer;
        for (const PushArticle& a : pushArticlesOf(e.lines)) {
            std::string link = u8(browserLink(a.url));
            newer.push_back({shortened(oneLine(u8(decodeEntities(a.title))), kTitleBytes),
                             link.size() > kLinkBytes ? std::string() : oneLine(link)});
        }
        into->articles.insert(into->articles.begin(), newer.begin(), newer.end());
    }
    return groups;
}

std::string markdownText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (std::string_view("\\[]()*_`#<>").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

std::string markdownLink(const std::string& url) {
    std::string out;
    for (char c : url) {
        if (c == ' ')
            out += "%20";
        else if (c == '(')
            out += "%28";
        else if (c == ')')
            out += "%29";
        else
            out += c;
    }
    return out;
}

// Telegram's and PushPlus's HTML is escaped as the feeds' XML is (no control characters either).
std::string html(const std::string& s) { return xmlText(s); }

const std::string kNewWords = "\xE7\xAF\x87\xE6\x96\xB0\xE6\x96\x87\xE7\xAB\xA0";    // 篇新文章
const std::string kMoreWords = "\xE2\x80\xA6\xE2\x80\xA6\xE5\x8F\xA6\xE6\x9C\x89 ";  // ……另有
const std::string kPieces = " \xE7\xAF\x87";                                         // 篇

// The group as text, with its first `shown` titles.
std::string renderGroup(const Group& g, PushForm form, std::size_t shown) {
    std::string out;
    if (g.kind == PushEvent::Kind::Health) {
        if (form == PushForm::Markdown) return "> " + markdownText(g.line) + "\n";
        if (form == PushForm::Html) return html(g.line) + "\n";
        return g.line + "\n";
    }
    const std::string count = std::to_string(g.total) + " " + kNewWords;
    const std::size_t rest = g.total > static_cast<int>(shown) ? g.total - shown : 0;
    switch (form) {
        case PushForm::Markdown:
            out = "**" + markdownText(g.name) + "** " + count + "\n\n";
            for (std::size_t i = 0; i < shown && i < g.articles.size(); ++i) {
                const Listed& a = g.articles[i];
                out += a.url.empty() ? "- " + markdownText(a.title) + "\n"
                                     : "- [" + markdownText(a.title) + "](" + markdownLink(a.url) + ")\n";
            }
            if (rest) out += "- " + kMoreWords + std::to_string(rest) + kPieces + "\n";
            break;
        case PushForm::Html:
            out = "<b>" + html(g.name) + "</b> " + count + "\n";
            for (std::size_t i = 0; i < shown && i < g.articles.size(); ++i) {
                const Listed& a = g.articles[i];
                out += a.url.empty() ? html(a.title) + "\n"
                                     : "<a href=\"" + html(a.url) + "\">" + html(a.title) + "</a>\n";
            }
            if (rest) out += kMoreWords + std::to_string(rest) + kPieces + "\n";
            break;
        default:
            out = "\xE3\x80\x90" + g.name + "\xE3\x80\x91" + count + "\n";  // 【name】
            for (std::size_t i = 0; i < shown && i < g.articles.size(); ++i) {
                out += g.articles[i].title + "\n";
                if (!g.articles[i].url.empty()) out += g.articles[i].url + "\n";
            }
            if (rest) out += kMoreWords + std::to_string(rest) + kPieces + "\n";
    }
    return out;
}

nlohmann::json groupJson(const Group& g, std::size_t shown) {
    if (g.kind == PushEvent::Kind::Health)
        return {{"kind", "health"},
                {"plan", g.planId},
                {"name", g.name},
                {"text", g.line},
                {"failures", g.total}};
    nlohmann::json articles = nlohmann::json::array();
    for (std::size_t i = 0; i < shown && i < g.articles.size(); ++i)
        articles.push_back({{"title", g.articles[i].title}, {"url", g.articles[i].url}});
    return {
        {"kind", "new"}, {"plan", g.planId}, {"name", g.name}, {"total", g.total}, {"articles", articles}};
}

std::string titleOf(int newArticles) {
    if (newArticles > 0) return "Tovidesk\xEF\xBC\x9A" + std::to_string(newArticles) + " " + kNewWords;
    return "Tovidesk\xEF\xBC\x9A\xE6\x96\xB9\xE6\xA1\x88\xE7\x8A\xB6\xE6\x80\x81\xE5\x8F\x98\xE5\x8C\x96";  // 方案状态变化
}

}  // namespace

std::string pushArticleLines(const std::vector<PushArticle>& articles) {
    std::string out;
    for (const PushArticle& a : articles) out += oneLine(a.title) + "\t" + oneLine(a.url) + "\n";
    return out;
}

std::vector<PushArticle> pushArticlesOf(const std::string& lines) {
    std::vector<PushArticle> out;
    std::size_t start = 0;
    while (start < lines.size()) {
        auto end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        const std::string line = lines.substr(start, end - start);
        const auto tab = line.find('\t');
        if (!line.empty())
            out.push_back({line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1)});
        start = end + 1;
    }
    return out;
}

std::string utf8Prefix(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Back to the start of the character the limit falls in.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

PushMessage composeDigest(const std::vector<PushEvent>& events, PushForm form, std::size_t limit,
                          const std::string& time) {
    PushMessage message;
    const std::vector<Group> groups = groupsOf(events);
    std::string body;
    nlohmann::json doc = {
        {"source", "tovidesk"}, {"time", time}, {"title", ""}, {"events", nlohmann::json::array()}};
    int newArticles = 0;
    auto sizeWith = [&](const Group& g, std::size_t shown, int total) {
        if (form == PushForm::Json) {
            nlohmann::json trial = doc;
            trial["events"].push_back(groupJson(g, shown));
            trial["title"] = titleOf(total);
            return trial.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).size();
        }
        return body.size() + (body.empty() ? 0 : 1) + renderGroup(g, form, shown).size();
    };
    for (const Group& g : groups) {
        const int total = newArticles + (g.kind == PushEvent::Kind::NewArticles ? g.total : 0);
        std::size_t shown = std::min(g.articles.size(), kDigestTitles);
        while (shown > 1 && sizeWith(g, shown, total) > limit) --shown;
        if (sizeWith(g, shown, total) > limit && !message.eventIds.empty()) break;  // the next message
        newArticles = total;
        if (form == PushForm::Json) {
            doc["events"].push_back(groupJson(g, shown));
        } else {
            if (!body.empty()) body += "\n";
            body += renderGroup(g, form, shown);
        }
        message.eventIds.insert(message.eventIds.end(), g.ids.begin(), g.ids.end());
        if (message.click.empty() && !g.articles.empty()) message.click = g.articles.front().url;
    }
    message.title = titleOf(newArticles);
    if (form == PushForm::Json) {
        doc["title"] = message.title;
        message.text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } else {
        message.text = utf8Prefix(body, limit);
    }
    return message;
}

}  // namespace tovi
