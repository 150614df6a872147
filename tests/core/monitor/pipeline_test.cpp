#include "core/monitor/Pipeline.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/text/Gbk.h"

namespace tovi {
namespace {

TEST(CleanSource, Table) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\r\nb", "ab"},   {"a\nb\rc", "a\nb\rc"},  // lone line feeds and carriage returns stay
        {"a\tb", "ab"},     {"a  b", "a b"},        {"a   b", "a  b"},  // three spaces become two
        {"a    b", "a  b"},                                             // four become two
        {"\r\t\n", "\r\n"},  // tabs go after the CR LF pass, so a new pair survives
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(cleanSource(c.in), c.out);
    }
}

// The three passes as written, one after the other: what the one-pass cleaner must equal.
std::string cleanInThreePasses(const std::string& in) {
    std::string a;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            ++i;
            continue;
        }
        a += in[i];
    }
    std::string b;
    for (char c : a)
        if (c != '\t') b += c;
    std::string c;
    for (std::size_t i = 0; i < b.size(); ++i) {
        c += b[i];
        if (b[i] == ' ' && i + 1 < b.size() && b[i + 1] == ' ') ++i;
    }
    return c;
}

TEST(CleanSource, OnePassEqualsTheThreePassesOnRandomText) {
    const char alphabet[] = {' ', ' ', '\t', '\r', '\n', 'a', '<', '\xB1', '\xEA'};
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 20000; ++round) {
        std::string in(next() % 90, ' ');
        for (char& ch : in) ch = alphabet[next() % sizeof alphabet];
        ASSERT_EQ(cleanSource(in), cleanInThreePasses(in)) << ::testing::PrintToString(in);
    }
}

TEST(WidenedRegion, Table) {
    using M = JudgeMode;
    struct Case {
        const char* name;
        const char* source;
        const char* before;
        const char* after;
        M mode;
        const char* region;
    } cases[] = {
        {"descending: to the end of the page", "x<s>N1 OLD</s>tail", "<s>", "</s>", M::TimeDescending,
         "N1 OLD</s>tail"},
        {"descending without its start marker", "N1 OLD</s>", "<s>", "</s>", M::TimeDescending, ""},
        {"ascending: from the start marker", "x<s>OLD N1</s>y", "<s>", "</s>", M::TimeAscending, "OLD N1"},
        {"ascending without its start marker", "OLD N1</s>y", "<s>", "</s>", M::TimeAscending, "OLD N1"},
        {"ascending without its end marker", "<s>OLD N1", "<s>", "</s>", M::TimeAscending, ""},
        {"quote placeholder", "<div class=\"l\">A</div>", "class=#引号l#引号>", "</div>", M::TimeAscending,
         "A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(widenedRegion(gbk(c.source), gbk(c.before), gbk(c.after), c.mode), gbk(c.region));
    }
}

TEST(MatchAll, GroupsOptionsAndErrors) {
    MatchResult r = matchAll(gbk("<A HREF=\"(\\d+)\">(.*?)</a>(x)?"),
                             gbk("<a href=\"1\">标题一</a><a href=\"2\">二</a>x"));
    ASSERT_TRUE(r.error.empty());
    EXPECT_EQ(r.groupCount, 3);
    ASSERT_EQ(r.matches.size(), 2u);
    EXPECT_EQ(groupText(r.matches[0], 1), "1");
    EXPECT_EQ(groupText(r.matches[0], 2), gbk("标题一"));
    EXPECT_EQ(groupText(r.matches[0], 3), "");  // took no part
    EXPECT_EQ(groupText(r.matches[1], 3), "x");
    EXPECT_EQ(groupText(r.matches[0], 9), "");  // above the group count
    EXPECT_EQ(groupText(r.matches[0], -1), "");

    // '.' matches line breaks; '^' matches after one.
    EXPECT_EQ(matchAll("a.b", "a\nb").matches.size(), 1u);
    EXPECT_EQ(matchAll("^x", "a\nx").matches.size(), 1u);

    // An expression that matches the empty string still ends.
    MatchResult empty = matchAll("x*", "abc");
    EXPECT_GE(empty.matches.size(), 3u);

    MatchResult bad = matchAll("(unclosed", "text");
    EXPECT_TRUE(bad.matches.empty());
    EXPECT_FALSE(bad.error.empty());

    // Catastrophic backtracking gives the engine's limit error, not a hang or a crash.
    for (const std::string& text : {std::string(5000, 'a'), std::string(40, 'a') + "cb"}) {
        MatchResult heavy = matchAll("(a*)*b", text);
        EXPECT_TRUE(heavy.matches.empty());
    }
    for (const char* pattern : {"^(a+)+$", "(a|aa)+$", "^(\\w+\\s?)*$"}) {
        SCOPED_TRACE(pattern);
        MatchResult heavy = matchAll(pattern, std::string(60, 'a') + "!");
        EXPECT_TRUE(heavy.matches.empty());
        EXPECT_FALSE(heavy.error.empty());
    }
}

// Expressions match characters as users write them, on GBK pages and with GB18030's four-byte
// characters; every group comes back whole. (Over bytes, each of these gave half-characters or
// refused ordinary punctuation.)
TEST(MatchAll, OnlyTheGroupsAPlanReadsAreConverted) {
    const std::string page = gbk("<a href=\"t-7.html\" title=\"提示\">标题七</a>");
    const std::string expr = "<a href=\"t-(\\d+)\\.html\" title=\"([^\"]*)\">(.*?)</a>";
    MatchLimits limits;
    // Title 3, id 1, no spare group, a template that names group 1: group 2 is never read.
    limits.usedGroups = groupsUsed(3, 1, -1, "http://x/t-[1].html");
    MatchResult r = matchAll(expr, page, limits);
    ASSERT_EQ(r.matches.size(), 1u);
    ASSERT_EQ(r.matches[0].groups.size(), 4u);
    EXPECT_EQ(r.matches[0].groups[1], "7");
    EXPECT_EQ(r.matches[0].groups[2], "");
    EXPECT_EQ(r.matches[0].groups[3], gbk("标题七"));
    EXPECT_EQ(composeUrl("http://x/t-[1].html", r.matches[0]), "http://x/t-7.html");
    // Without a choice every group is there (the plan test shows them all).
    r = matchAll(expr, page);
    EXPECT_EQ(r.matches[0].groups[2], gbk("提示"));
    EXPECT_EQ(groupsUsed(0, 0, 0, "[2][x]"), (std::vector<bool>{true, false, true}));
}

TEST(MatchAll, ExpressionsMatchCharactersNotBytes) {
    struct Case {
        const char* expression;
        std::string text;                      // GBK (or GB18030) bytes
        std::vector<std::string> firstGroups;  // group 1 of each match, UTF-8
    } cases[] = {
        // 、 (A1 A2) shares its lead byte with 】 (A1 BF): the class still takes it.
        {"【([^】]+)】", gbk("【通知、公告】 and 【新闻】"), {"通知、公告", "新闻"}},
        {"<li>(.{3})", gbk("<li>【通知、公告】"), {"【通知"}},
        {"([一-龥]+)", gbk("abc中文def汉字"), {"中文", "汉字"}},
        {"(.{2,3})x", gbk("一二三四x"), {"二三四"}},
        {"(新闻abc)", gbk("头条新闻ABC"), {"新闻ABC"}},               // ASCII letters in any case
        {"(a+)", gbk("丄"), {}},                                      // 丄 is 81 41: no letter in it
        {"(.)\\bA", gbk("丄A"), {"丄"}},                              // \b next to a Chinese character
        {"(\\w+)", gbk("中文word中文"), {"word"}},                    // \w stays ASCII
        {"<b>(.)</b>", utf8ToGbk("<b>한</b><b>😀</b>"), {"한", "😀"}},  // four-byte characters
        {"(x.y)", "x\xFFy x\x80y", {"x\xEF\xBF\xBDy", "x€y"}},        // a stray byte is one character
        {"<a href=\"([^\"]+)\">([^<]+)</a>", gbk("<a href=\"/t/1\">标题</a>"), {"/t/1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        MatchResult r = matchAll(gbk(c.expression), c.text);
        ASSERT_TRUE(r.error.empty()) << r.error;
        std::vector<std::string> groups;
        for (const Match& m : r.matches) groups.push_back(gbkToUtf8(groupText(m, 1)));
        EXPECT_EQ(groups, c.firstGroups);
    }
}

// Over the cap, a plan by article id keeps the highest ids whatever the page's order, so an
// oldest-first page never pins it to its first ids.
TEST(MatchAll, TheCapKeepsTheHighestRankedInPageOrder) {
    std::string page;
    for (int id : {5, 1, 9, 3, 7, 2, 8}) page += "<i>" + std::to_string(id) + "</i>";
    MatchLimits limits;
    limits.maxMatches = 3;
    limits.rank = [](const Match& m) { return static_cast<std::int64_t>(std::stoll(groupText(m, 1))); };
    MatchResult r = matchAll("<i>(\\d+)</i>", page, limits);
    std::vector<std::string> kept;
    for (const Match& m : r.matches) kept.push_back(groupText(m, 1));
    EXPECT_EQ(kept, (std::vector<std::string>{"9", "7", "8"}));
    EXPECT_EQ(r.found, 7u);
}

TEST(ComposeUrl, Table) {
    Match m;
    m.groups = {"WHOLE", "12", "t"};
    struct Case {
        const char* tmpl;
        const char* url;
    } cases[] = {
        {"http://x/thread-[1]-1-1.html", "http://x/thread-12-1-1.html"},
        {"http://x/[1]/[1]?[2]", "http://x/12/12?t"},
        {"http://x/[abc]", "http://x/WHOLE"},  // not a number: the whole match
        {"http://x/[]", "http://x/[]"},        // empty brackets stay
        {"http://x/[ 1 ]", "http://x/[ 1 ]"},  // spaces inside are not replaced
        {"http://x/[7]", "http://x/"},         // a group that does not exist is empty
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpl);
        EXPECT_EQ(composeUrl(c.tmpl, m), c.url);
    }
}

TEST(ComposeUrl, GroupTextIsNeverSubstitutedAgain) {
    // A 75-byte page and a template of 22 "[1]" once built a 277 MB URL: each replacement was
    // searched again for "[1]".
    Match m;
    m.groups = {"W", "[1][1][1]", "[2]"};
    EXPECT_EQ(composeUrl("u/[1]/[2]", m), "u/[1][1][1]/[2]");
    std::string tmpl;
    for (int i = 0; i < 22; ++i) tmpl += "[1]";
    EXPECT_EQ(composeUrl(tmpl, m).size(), 22u * 9u);
}

TEST(MatchAll, StopsBetweenMatchesOnRequestAndOnItsBudget) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "<i>" + std::to_string(i) + "</i>";
    Expression rx = Expression::compile("<i>(\\d+)</i>");
    ASSERT_TRUE(rx.ok());
    EXPECT_EQ(rx.groupCount(), 1);

    int asked = 0;
    MatchLimits stopAfterTen;
    stopAfterTen.cancel = [&] { return ++asked >= 10; };
    MatchResult stopped = matchAll(rx, text, stopAfterTen);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.matches.size(), 10u);

    MatchLimits tiny;
    tiny.budget = std::chrono::milliseconds(1);
    tiny.cancel = [] {
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // each match made slow
        return false;
    };
    MatchResult late = matchAll(rx, text, tiny);
    EXPECT_TRUE(late.overBudget);
    EXPECT_LT(late.matches.size(), 20000u);

    EXPECT_EQ(matchAll(rx, text).matches.size(), 20000u);
    EXPECT_FALSE(Expression::compile("(unclosed").ok());
    EXPECT_EQ(Expression::compile("(unclosed").groupCount(), 0);
}

// What a user's expression may make one search do is bounded: memory, the JIT's stack, and the
// time of a single search (a stop and the budget reach inside it).
TEST(MatchAll, OneSearchStaysWithinItsBoundsAndOrdinaryExpressionsWorkOnLongItems) {
    // Items of many thousand characters: the JIT needs a larger stack than it starts with.
    std::string items;
    for (int i = 0; i < 20; ++i)
        items += "<li>" + std::string(6000, 'x') + "\n" + std::to_string(i) + "</li>";
    MatchResult longItems = matchAll("<li>((?:.|\n)*?)</li>", items);
    EXPECT_TRUE(longItems.error.empty()) << longItems.error;
    EXPECT_EQ(longItems.matches.size(), 20u);

    // Settings that would switch the JIT (and its bounds) off are refused when the plan is saved.
    for (const char* pattern : {"(*NO_JIT)<li>(.*?)</li>", "(*UTF)(*NO_JIT)(a)"}) {
        SCOPED_TRACE(pattern);
        Expression rx = Expression::compile(pattern);
        EXPECT_FALSE(rx.ok());
        EXPECT_NE(rx.error().find("(*NO_JIT)"), std::string::npos) << rx.error();
    }
    // A limit of the pattern's own can only lower ours.
    EXPECT_TRUE(Expression::compile("(*LIMIT_MATCH=999999999)<li>(.*?)</li>").ok());

    // A thousand unused groups, forced to backtrack: an error, not gigabytes.
    std::string groups;
    for (int i = 0; i < 1000; ++i) groups += "(y)?";
    MatchResult manyGroups = matchAll("(?:" + groups + "a)*b", std::string(20000, 'a'));
    EXPECT_TRUE(manyGroups.matches.empty());

    // Much work at every start position and no backtracking for the match limit to count: the
    // budget and a stop reach inside the one search.
    const std::string page(256 * 1024, 'x');
    MatchLimits budget;
    budget.budget = std::chrono::milliseconds(200);
    const auto started = std::chrono::steady_clock::now();
    MatchResult slow = matchAll("(?:x|y)*+\\d", page, budget);
    EXPECT_TRUE(slow.overBudget);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    MatchLimits stop;
    stop.cancel = [asked = 0]() mutable { return ++asked > 3; };
    EXPECT_TRUE(matchAll("(?:x|y)*+\\d", page, stop).cancelled);

    // An error's place is counted in characters as the user wrote them.
    EXPECT_NE(Expression::compile(gbk("标题(")).error().find("(at 3)"), std::string::npos)
        << Expression::compile(gbk("标题(")).error();
}

TEST(JudgeMode, FromText) {
    EXPECT_EQ(judgeModeFromText("0"), JudgeMode::TimeDescending);
    EXPECT_EQ(judgeModeFromText("2"), JudgeMode::TimeAscending);
    EXPECT_EQ(judgeModeFromText("8"), JudgeMode::CompareArticleId);
    EXPECT_EQ(judgeModeFromText("5"), JudgeMode::TimeDescending);
    EXPECT_EQ(judgeModeFromText(""), JudgeMode::TimeDescending);
}

}  // namespace
}  // namespace tovi
