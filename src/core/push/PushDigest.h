#pragma once
// What a channel is told after a pass: one digest of the events waiting for it. New articles
// are grouped by plan (up to 10 titles with links, the rest counted), plan health lines follow;
// the digest stays within the service's size limit and never cuts a character in half.
#include <cstdint>
#include <string>
#include <vector>

namespace tovi {

// One event waiting in the outbox, as stored (GBK).
struct PushEvent {
    enum class Kind { NewArticles, Health };
    std::int64_t id = 0;
    Kind kind = Kind::NewArticles;
    int planId = 0;
    std::string planName;
    int total = 0;      // new articles: how many raised the alert; health: failures in a row
    std::string lines;  // new articles: "title\turl\n" per listed article, newest first; health: the line
    std::int64_t created = 0;
};

// How a service reads a message's text.
enum class PushForm { Plain, Markdown, Html, Json };

struct PushMessage {
    std::string title;                   // UTF-8
    std::string text;                    // UTF-8, in the form asked for (a JSON document for PushForm::Json)
    std::string click;                   // UTF-8: the first listed article's link, for services that open one
    std::vector<std::int64_t> eventIds;  // the events this message announces
};

constexpr std::size_t kDigestTitles = 10;  // titles listed per plan

// The listed articles of a new-articles event, and the text that stores them.
struct PushArticle {
    std::string title, url;  // GBK, as stored
};
std::string pushArticleLines(const std::vector<PushArticle>& articles);
std::vector<PushArticle> pushArticlesOf(const std::string& lines);

// The digest of the events, oldest first, in at most `limit` bytes of text. Events that do not
// fit are left for the next message; the first group always goes, trimmed to fit. `time` is
// the pass's time in words (UTF-8) for the JSON document.
PushMessage composeDigest(const std::vector<PushEvent>& events, PushForm form, std::size_t limit,
                          const std::string& time);

// The longest start of text, in at most `limit` bytes, that ends on a whole UTF-8 character.
std::string utf8Prefix(const std::string& text, std::size_t limit);

}  // namespace tovi
