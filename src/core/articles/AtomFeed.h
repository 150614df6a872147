#pragma once
// An Atom 1.0 feed of captured articles, so any feed reader, phone app or script can follow
// what the program captures. The document is UTF-8.
#include <ctime>
#include <string>
#include <vector>

#include "core/articles/ArticleList.h"

namespace tovi {

struct FeedInfo {
    std::string title;  // GBK
    std::string id;     // the feed's own IRI
};

// A capture time ("12/9 7:05", local time, no year) as an RFC 3339 time with the local offset
// ("2016-12-09T07:05:00+08:00"): the year is that of now (local time), or the year before when
// the date would lie ahead of now. Empty when the text is no such time.
std::string captureTimeToRfc3339(const std::string& addtime, const std::tm& now);

// A local time in RFC 3339 form with the zone's offset then ("2026-12-11T09:30:00+08:00").
std::string localRfc3339(std::tm local);

// Rows as table info holds them (eight texts), newest first.
std::string atomFeed(const FeedInfo& feed, const std::vector<ArticleRow>& rows, const std::tm& now);

// Text fit for an XML document: characters XML cannot hold are left out, markup is escaped.
std::string xmlText(const std::string& utf8);

}  // namespace tovi
