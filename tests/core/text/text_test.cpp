#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <limits>

#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"
#include "core/text/Timestamp.h"

namespace tovi {
namespace {

TEST(TextToInt, Table) {
    struct Case {
        const char* utf8;
        std::int64_t expected;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"abc12", 0},
        {"12abc", 12},
        {"１２", 12},        // full-width digits fold
        {"－３４", -34},     // full-width sign
        {"　 \t\r\n 7", 7},  // full-width space and white space skipped
        {"+5", 5},
        {"-", 0},
        {"- 5", 0},
        {"007", 7},
        {"123.html", 123},
        {"thread-123", 0},
        {"4294967297", 4294967297LL},  // must not wrap to 1
        {"99999999999999999999999", std::numeric_limits<std::int64_t>::max()},
        {"-99999999999999999999999", std::numeric_limits<std::int64_t>::min()},
        {"中12", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(textToInt(gbk(c.utf8)), c.expected);
    }
}

TEST(Timestamp, ShortAndLongForms) {
    std::tm t{};
    t.tm_year = 2016 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(shortTimestamp(t), "12/9 7:05");
    EXPECT_EQ(longTimestamp(t), "2016-12-9 7:5:3");
    std::tm newYear{};
    newYear.tm_year = 2027 - 1900;
    newYear.tm_mday = 1;
    newYear.tm_sec = 5;
    EXPECT_EQ(shortTimestamp(newYear), "1/1 0:00");
    EXPECT_EQ(longTimestamp(newYear), "2027-1-1 0:0:5");
}

TEST(Gbk, RoundTripAndLossyConversion) {
    const std::string utf8 = "中文标题 ABC　１";
    std::string g = gbk(utf8);
    EXPECT_EQ(g, "\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2 ABC\xA1\xA1\xA3\xB1");
    EXPECT_EQ(gbkToUtf8(g), utf8);
    // Malformed UTF-8 becomes one '?' a sequence.
    EXPECT_EQ(utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    EXPECT_EQ(utf8ToGbk("\xE4\xB8"), "??");  // cut off at the end
    EXPECT_EQ(utf8ToGbk(""), "");
    EXPECT_EQ(gbkDisplayWidth(gbk("中a")), 3u);
}

TEST(Gbk, CharactersGbkCannotHoldSurviveInGb18030Form) {
    struct Case {
        const char* utf8;
        const char* bytes;  // as stored: GBK where it can, GB18030's four bytes where not
    } cases[] = {
        {"한국어", "\x83\x36\x84\x33\x82\x37\xF4\x30\x83\x32\xEB\x35"},
        {"Español", "Espa\x81\x30\x8A\x39ol"},
        {"x\xF0\x9F\x98\x80y", "x\x94\x39\xFC\x36y"},  // an emoji, beyond the BMP
        {"中€文", "\xD6\xD0\x80\xCE\xC4"},             // GBK's own euro sign stays one byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.bytes);
        EXPECT_EQ(gbkToUtf8(c.bytes), c.utf8);
    }
    // A GB18030 page writes the euro sign as A2 E3, a code CP936 leaves empty: read as the euro
    // sign, and what follows it stays whole.
    EXPECT_EQ(gbkToUtf8("1\xA2\xE3 \xD6\xD0"), "1€ 中");
    // Four-byte characters are one character to every search, split and width.
    const std::string text = utf8ToGbk("ñ0ñ]");
    EXPECT_EQ(gbkFind(text, "0"), 4u);
    EXPECT_EQ(gbkFind(text, "]"), 9u);
    EXPECT_EQ(gbkFind(text, "\x30\x8A"), kNotFound);  // not a character of the text
    EXPECT_EQ(gbkDisplayWidth(text), 6u);
    EXPECT_EQ(gbkSplit(text, "0"), (std::vector<std::string>{utf8ToGbk("ñ"), utf8ToGbk("ñ]")}));
    EXPECT_EQ(trimSpaces(utf8ToGbk(" ñ ")), utf8ToGbk("ñ"));
}

TEST(Gbk, ConvertingAPageEqualsConvertingItPieceByPiece) {
    // ASCII runs are copied and the rest converted: the seams must not show. Pieces are whole
    // UTF-8 characters, or single bytes that are not UTF-8.
    const std::vector<std::string> pieces = {
        "a", "<li>", "中", "文", "\xF0\x9F\x98\x80" /* no GBK form */, "\xFF", "\xE4\xB8" /* cut short */,
        " ", "€"};
    std::uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        std::string page, expected;
        for (int k = next() % 40; k > 0; --k) {
            const std::string& p = pieces[next() % pieces.size()];
            // A cut-short character is only cut short at the very end.
            if (p == "\xE4\xB8" && k != 1) continue;
            page += p;
            expected += utf8ToGbk(p);
        }
        ASSERT_EQ(utf8ToGbk(page), expected) << ::testing::PrintToString(page);
    }
}

// The converter as it was before ASCII runs were copied: iconv over the whole text, a
// GB18030 form where CP936 has none, U+FFFD for one byte it cannot read.
std::string wholeTextToUtf8(const std::string& text) {
    iconv_t cp936 = iconv_open("UTF-8", "CP936"), gb18030 = iconv_open("UTF-8", "GB18030");
    std::string out;
    const char* in = text.data();
    std::size_t left = text.size();
    char buffer[64];
    while (left > 0) {
        char* o = buffer;
        std::size_t room = sizeof buffer;
        char* from = const_cast<char*>(in);
        const std::size_t rc = iconv(cp936, &from, &left, &o, &room);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        in = from;
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        iconv(cp936, nullptr, nullptr, nullptr, nullptr);
        const std::size_t len = gbkCharLength(text, static_cast<std::size_t>(in - text.data()));
        if (len == 2 || len == 4) {
            char* one = const_cast<char*>(in);
            std::size_t oneLeft = len;
            o = buffer;
            room = sizeof buffer;
            if (iconv(gb18030, &one, &oneLeft, &o, &room) != static_cast<std::size_t>(-1)) {
                out.append(buffer, static_cast<std::size_t>(o - buffer));
                in += len;
                left -= len;
                continue;
            }
            iconv(gb18030, nullptr, nullptr, nullptr, nullptr);
        }
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    iconv_close(cp936);
    iconv_close(gb18030);
    return out;
}

TEST(Gbk, CopyingAsciiRunsChangesNoConversion) {
    // Every two-byte code between ASCII on both sides (trail bytes in the ASCII range included).
    std::string every;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            every += "a<";
            every += static_cast<char>(lead);
            every += static_cast<char>(trail);
        }
    ASSERT_EQ(gbkToUtf8(every), wholeTextToUtf8(every));
    // Random pages of ASCII, GBK, GB18030 four-byte forms and bytes that are no text.
    const std::vector<std::string> pieces = {
        "a",        "<li>",     gbk("中文"),        "\x81\x30\x81\x30", "\x80",     "\xFF", "\x81",
        "\xA2\xE3", "\x81\x7F", "\x84\x31\xA4\x39", "\x81\x30",         "\xFE\x40", "@"};
    std::uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 5000; ++round) {
        std::string page;
        for (int k = next() % 30; k > 0; --k) page += pieces[next() % pieces.size()];
        ASSERT_EQ(gbkToUtf8(page), wholeTextToUtf8(page)) << ::testing::PrintToString(page);
    }
}

// UTF-8 to GBK as the converter answers it alone, character by character: CP936, else the
// GB18030 form, else '?' for the character (or the byte, when it is no UTF-8).
std::string converterToGbk(const std::string& utf8) {
    iconv_t cp936 = iconv_open("CP936", "UTF-8"), gb18030 = iconv_open("GB18030", "UTF-8");
    auto one = [](iconv_t cd, const char* p, std::size_t len, std::string& out) {
        char buffer[16];
        char* in = const_cast<char*>(p);
        char* o = buffer;
        std::size_t left = len, room = sizeof buffer;
        const bool ok = iconv(cd, &in, &left, &o, &room) != static_cast<std::size_t>(-1) && left == 0;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (ok) out.append(buffer, static_cast<std::size_t>(o - buffer));
        return ok;
    };
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (len > utf8.size() - i) len = 0;
        if (len > 1 && !isValidUtf8(utf8.substr(i, len))) len = 0;
        if (len == 0 || (!one(cp936, utf8.data() + i, len, out) && !one(gb18030, utf8.data() + i, len, out)))
            out += '?';
        i += len == 0 ? 1 : len;
    }
    iconv_close(cp936);
    iconv_close(gb18030);
    return out;
}

TEST(Gbk, LookedUpCharactersAreTheConvertersOwn) {
    std::string every;
    for (char32_t cp = 0x20; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x80) {
            every += static_cast<char>(cp);
        } else if (cp < 0x800) {
            every += static_cast<char>(0xC0 | (cp >> 6));
            every += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            every += static_cast<char>(0xE0 | (cp >> 12));
            every += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            every += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    every += "\xF0\x9F\x98\x80\xF0\xA0\x80\x80";  // beyond the BMP: GB18030's four-byte forms
    ASSERT_EQ(utf8ToGbk(every), converterToGbk(every));
    // And back: every GBK character the converter reads reads the same.
    ASSERT_EQ(gbkToUtf8(utf8ToGbk(every)), wholeTextToUtf8(utf8ToGbk(every)));
    const std::vector<std::string> pieces = {
        "a", "中", "€", "\xF0\x9F\x98\x80", "\xFF", "\xC0\x80", "\xE4\xB8", "\xED\xA0\x80", "\x80", "<li>"};
    std::uint32_t seed = 11;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (int k = next() % 30; k > 0; --k) text += pieces[next() % pieces.size()];
        ASSERT_EQ(utf8ToGbk(text), converterToGbk(text)) << ::testing::PrintToString(text);
    }
}

TEST(GbkSearch, StepsOverDoubleByteCharacters) {
    // 螺 is C2 DD: "\xDD" must not be found on its trail byte, nor "]" (0x5D) inside 乗-like pairs.
    const std::string text = gbk("螺]");
    EXPECT_EQ(gbkFind(text, "]"), 2u);
    // 玛 = C2 EA; searching "\xEA" alone must not hit the trail byte.
    EXPECT_EQ(gbkFind(gbk("玛"), "\xEA"), kNotFound);
    // A trail byte in the ASCII range (0x40-0x7E): 丂 is 81 40 ('@').
    EXPECT_EQ(gbkFind(gbk("丂@"), "@"), 2u);
    EXPECT_EQ(gbkFind("aBc", "bC", 0, CaseMode::AsciiInsensitive), 1u);
    EXPECT_EQ(gbkReplaceAll(gbk("丂@丂@"), "@", "#"), gbk("丂#丂#"));
    EXPECT_EQ(gbkSplit("a;;b;", ";"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(gbkSplit("", ";").empty());
}

TEST(GbkSearch, StrayLeadBytesDoNotHideWhatFollows) {
    // A lead byte followed by a byte that cannot end a character (below 0x40, or 0x7F) is one
    // byte on its own: the scan picks up again at the next byte.
    struct Case {
        std::string text;
        std::size_t at;
    } cases[] = {
        {"<li>\x81</ul>", 5},
        {gbk("标题") + "\xB1</ul>", 5},  // half a character at the end of a title
        {"\xFE\x7F</ul>", 2},
        {"\x81\x81</ul>", kNotFound},  // 81 81 is a whole character; the marker after it stands at 2
    };
    cases[3].at = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(gbkFind(c.text, "</ul>"), c.at);
    }
    EXPECT_EQ(textBetween("<ul>x\x81</ul>", "<ul>", "</ul>"), "x\x81");
    EXPECT_EQ(gbkCharLength("\x81\x40", 0), 2u);
    EXPECT_EQ(gbkCharLength("\x81\x3C", 0), 1u);
    EXPECT_EQ(gbkCharLength("\x81", 0), 1u);
}

TEST(Trim, SpacesOnlyAtBothEnds) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"  a b  ", "a b"}, {"　论坛　 ", "论坛"}, {"\ta\t", "\ta\t"}, {"   ", ""},
        {"", ""},           {"\r\nx", "\r\nx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(trimSpaces(gbk(c.in)), gbk(c.out));
    }
    // A trail byte A1 followed by A1 is not a full-width space: 啊 = B0 A1.
    EXPECT_EQ(trimSpaces(gbk("啊") + "\xA1"), gbk("啊") + "\xA1");
}

TEST(TextBetween, Table) {
    struct Case {
        const char* text;
        const char* left;
        const char* right;
        const char* expected;
    } cases[] = {
        {"<a>x</a>", "<a>", "</a>", "x"},
        {"href=\"u\"", "href=#引号", "#引号", "u"},  // the placeholder stands for a double quote
        {"a#引号b#引号", "#引号", "#引号", ""},      // the placeholder itself is not found
        {"<a>x", "<a>", "</a>", ""},                 // no right marker after the left
        {"<a>x</a>", "<a>", "", ""},                 // an empty right marker gives nothing
        {"abc]", "", "]", "abc"},                    // an empty left marker starts at the text
        {"", "", "]", ""},
        {"]x[", "[", "]", ""},  // right marker only before the left one
        {"[]", "[", "]", ""},
        {"L1 R L2 R", "L", "R", "1 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(textBetween(gbk(c.text), gbk(c.left), gbk(c.right)), gbk(c.expected));
    }
}

TEST(SegmentsBetween, Table) {
    using V = std::vector<std::string>;
    struct Case {
        const char* text;
        const char* open;
        const char* close;
        V expected;
    } cases[] = {
        {"<a><b>", "<", ">", {"a", "b"}},
        {"<a><><b>", "<", ">", {"a", "b"}},
        {"<论坛><><  新闻 >", "<", ">", {"论坛", "新闻"}},
        {"<a", "<", ">", {}},
        {"<a><a>", "<", ">", {"a", "a"}},
        {"[1]abc[ 2 ][]", "[", "]", {"1", "2"}},
        {"XaYxbY", "x", "y", {"a", "b"}},  // markers match regardless of ASCII case
        {"<\ta\t>", "<", ">", {"\ta\t"}},
        {"", "<", ">", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        V expected;
        for (const auto& e : c.expected) expected.push_back(gbk(e));
        EXPECT_EQ(segmentsBetween(gbk(c.text), gbk(c.open), gbk(c.close)), expected);
    }
}

TEST(Entities, ReferencesReadAsTheirCharacters) {
    struct Case {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"&lt;C++&gt; &amp; Qt&#x27;s", "<C++> & Qt's"},
        {"&quot;新闻&quot;&nbsp;&#20013;&#x6587;", "\"新闻\" 中文"},
        {"AT&T &copy; &hellip;", "AT&T © …"},
        {"&amp;lt; once only", "&lt; once only"},
        {"&bogus; &#; &#x; &#0; &#xD800; &#99999999; &", "&bogus; &#; &#x; &#0; &#xD800; &#99999999; &"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},  // beyond GBK: GB18030's form
        {"no references", "no references"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(gbkToUtf8(decodeEntities(gbk(c.stored))), c.shown);
    }
}

TEST(JsonUnescaped, EscapesReadAsTheirCharacters) {
    const struct {
        const char* json;
        const char* text;  // UTF-8
    } cases[] = {
        {R"(\u7b2c 1 \u7bc7)", "第 1 篇"},
        {R"(\/t\/5?a=1\u0026b=2)", "/t/5?a=1&b=2"},
        {R"(say \"hi\" \\ back)", "say \"hi\" \\ back"},
        {R"(\ud83d\ude00 face)", "😀 face"},
        {R"(\u20ac)", "€"},
        {R"(half \ud83d pair)", "half \xEF\xBF\xBD pair"},
        {R"(bad \u12G4 and \q)", "bad \\u12G4 and \\q"},
        {"中文 plain", "中文 plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(gbkToUtf8(jsonUnescaped(gbk(c.json))), c.text);
    }
}

}  // namespace
}  // namespace tovi
