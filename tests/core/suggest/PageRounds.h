#pragma once
// Three rounds over a list page for the plan its best proposal saves: the page as it is (exactly
// its articles are stored), after activity (counts, dates, reply anchors, a record bumped to the
// top: nothing is stored), and with three new records on top (exactly those are stored).
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <functional>
#include <set>

#include "core/monitor/PlanRunner.h"
#include "core/plans/PlanEditing.h"
#include "core/suggest/PlanSuggest.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "support/EngineFixture.h"

namespace tovi::test {

using Articles = std::set<std::pair<std::string, std::string>>;  // title, link as the page writes it

// Every match of re in text replaced by what make gives for it.
inline std::string replaceEach(const std::string& text, const std::string& re,
                               const std::function<std::string(const boost::smatch&)>& make) {
    std::string out;
    auto from = text.cbegin();
    const boost::regex r(re);
    for (boost::sregex_iterator it(text.begin(), text.end(), r), end; it != end; ++it) {
        out.append(from, (*it)[0].first);
        out += make(*it);
        from = (*it)[0].second;
    }
    out.append(from, text.cend());
    return out;
}

// The number in a match's first group, raised: a counter after some activity.
inline std::string raised(const boost::smatch& m) {
    const std::string whole = m.str(0), number = m.str(1);
    const auto at = static_cast<std::size_t>(m[1].first - m[0].first);
    return whole.substr(0, at) + std::to_string(std::stoll(number) + 7) + whole.substr(at + number.size());
}

// One page kind: where its records are, what an article is, how activity changes it and how a
// new record is written from an old one.
struct RealPage {
    const char* name;
    std::function<std::string()> page;
    const char* record;                 // a whole record (one match each)
    const char* article;                // in a record: group 1 the link, group 2 the title
    std::vector<const char*> counters;  // activity: the numbers in these groups' first group rise
    // A new record from the first one: its number and title replaced.
    std::function<std::string(std::string record, int k)> fresh;
    std::size_t articles;
    bool gbkPage = false;  // titles in GBK, compared as UTF-8
};

// A title as it is stored: runs of white space read as one space, none around it.
inline std::string storedTitle(const std::string& title) {
    return boost::regex_replace(boost::regex_replace(title, boost::regex(R"re(\s+)re"), " "),
                                boost::regex(R"re(^ | $)re"), "");
}

// The articles the page shows. Feeds write titles and links the other way round.
inline Articles articlesOf(const RealPage& p, const std::string& page) {
    Articles out;
    const boost::regex record(p.record), article(p.article);
    for (boost::sregex_iterator it(page.begin(), page.end(), record), end; it != end; ++it) {
        const std::string r = it->str();
        boost::smatch m;
        if (!boost::regex_search(r, m, article)) continue;
        const bool feed = std::string(p.record).starts_with("<item");
        const std::string title = storedTitle(feed ? m.str(1) : m.str(2));
        // Links as a browser follows them: "&amp;" read as "&".
        out.emplace(p.gbkPage ? gbkToUtf8(title) : title, browserLink(feed ? m.str(2) : m.str(1)));
    }
    return out;
}

// The page after activity: counters risen, and its last record moved to the top.
inline std::string afterActivity(const RealPage& p, std::string page) {
    for (const char* counter : p.counters) page = replaceEach(page, counter, raised);
    boost::smatch first;
    const boost::regex record(p.record);
    EXPECT_TRUE(boost::regex_search(page, first, record));
    std::string last;
    for (boost::sregex_iterator it(page.begin(), page.end(), record), end; it != end; ++it) last = it->str();
    const std::size_t lastAt = page.rfind(last),
                      firstAt = static_cast<std::size_t>(first[0].first - page.cbegin());
    page.erase(lastAt, last.size());
    return page.insert(firstAt, last + "\n");
}

// The page with three new records on top; their articles go to added.
inline std::string afterGrowth(const RealPage& p, std::string page, Articles& added) {
    boost::smatch first;
    EXPECT_TRUE(boost::regex_search(page, first, boost::regex(p.record)));
    std::string fresh;
    for (int k = 3; k >= 1; --k) fresh += p.fresh(first.str(0), k) + "\n";
    added = articlesOf(p, fresh);
    return page.insert(static_cast<std::size_t>(first[0].first - page.cbegin()), fresh);
}

// What one set holds and the other not, for a failure's message.
inline std::string difference(const Articles& got, const Articles& want) {
    std::string out;
    for (const auto& a : got)
        if (!want.count(a)) out += "\n  extra: " + a.first + " | " + a.second;
    for (const auto& a : want)
        if (!got.count(a)) out += "\n  missing: " + a.first + " | " + a.second;
    return out;
}

// Links in a set, with their fragments left out (what a link that survives activity keeps).
inline Articles withoutFragments(const Articles& articles) {
    Articles out;
    for (const auto& [title, link] : articles) out.emplace(title, link.substr(0, link.find('#')));
    return out;
}

class PageRounds : public EngineFixture {
protected:
    // Titles and links stored for the plan, links as the page wrote them (the page's own
    // address left out where the template added it).
    Articles stored(int planId, const std::string& pageUrl) {
        const std::string dir = pageUrl.substr(0, pageUrl.rfind('/') + 1);
        const std::string origin = pageUrl.substr(0, pageUrl.find('/', 8));
        Articles out;
        for (const auto& row :
             db.run(Statement("select title, url from info where planid=?", {planId})).rows) {
            std::string link = gbkToUtf8(row[1]);
            if (link.starts_with(dir) && !link.substr(dir.size()).starts_with("/"))
                link = link.substr(dir.size());
            else if (link.starts_with(origin + "/"))
                link = link.substr(origin.size());
            out.emplace(gbkToUtf8(row[0]), link);
        }
        return out;
    }

    // The three rounds for page p served at path.
    void threeRounds(const RealPage& p, const std::string& path) {
        const std::string original = p.page();
        const Articles onPage = withoutFragments(articlesOf(p, original));
        ASSERT_EQ(onPage.size(), p.articles);
        setPage(path, original);
        const SuggestResult r = suggestPlansFromUrl(server.url(path), "", kEditorDefaultUserAgent);
        ASSERT_FALSE(r.candidates.empty()) << gbkToUtf8(r.problem);
        EXPECT_EQ(r.candidates.front().doubt, "") << gbkToUtf8(r.candidates.front().doubt);
        for (const std::string& marker :
             {r.candidates.front().fields.before, r.candidates.front().fields.after})
            EXPECT_EQ(marker.find_first_of("\r\n"), std::string::npos) << gbkToUtf8(marker);
        const Result<SavedPlan> saved = savePlan(db, r.candidates.front().fields, 0);
        ASSERT_TRUE(saved.ok()) << gbkToUtf8(saved.error());
        reloadPlanTable();

        monitoring->planRunner().runPlan(saved->id);
        const Articles first = stored(saved->id, server.url(path));
        EXPECT_TRUE(first == onPage) << r.candidates.front().structure << difference(first, onPage);

        setPage(path, afterActivity(p, original));
        monitoring->planRunner().runPlan(saved->id);
        EXPECT_EQ(stored(saved->id, server.url(path)).size(), p.articles) << "activity stored articles again";

        Articles added;
        setPage(path, afterGrowth(p, afterActivity(p, original), added));
        ASSERT_EQ(added.size(), 3u);
        monitoring->planRunner().runPlan(saved->id);
        Articles expected = onPage;
        for (const auto& a : withoutFragments(added)) expected.insert(a);
        const Articles last = stored(saved->id, server.url(path));
        EXPECT_TRUE(last == expected) << difference(last, expected);
    }
};

}  // namespace tovi::test
