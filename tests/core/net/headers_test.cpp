#include <gtest/gtest.h>

#include "core/net/Decode.h"
#include "core/net/DirectHttpRequest.h"
#include "core/net/HttpHeaders.h"
#include "core/net/HttpRequest.h"
#include "core/net/Url.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

TEST(MergeCookies, Table) {
    struct Case {
        const char* old;
        const char* received;
        const char* merged;
    } cases[] = {
        {"a=1; b=2", "b=3", "b=3; a=1"},
        {"sid=x; uid=7", "sid=deleted", "uid=7"},
        {"a=1;a=2", "", "a=1"},
        {"", "t=1; t=1", "t=1"},
        {"k=hello world", "", "k=helloworld"},
        {"", "", ""},
        {"a=1", "b=2; b=3", "b=2; b=3; a=1"},  // several received pairs of one name all stay
        {"x=　1", "", "x=1"},                  // the full-width space counts as a space
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.old) + " + " + c.received);
        std::string cookie = gbk(c.old), received = gbk(c.received);
        EXPECT_EQ(mergeCookies(cookie, received), gbk(c.merged));
        EXPECT_EQ(cookie, gbk(c.merged));
        EXPECT_EQ(received.find(' '), std::string::npos);
    }
}

TEST(CollectSetCookies, Table) {
    struct Case {
        const char* headers;
        const char* pairs;
    } cases[] = {
        {"Set-Cookie: k=v; path=/; HttpOnly", "k=v"},
        {"Set-Cookie: k=v", "k=v"},
        {"Set-Cookie:k=v", "k=v"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nContent-Type: text/html\r\nSet-Cookie: b=2",
         "a=1; b=2"},
        {"Content-Type: text/html", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers);
        EXPECT_EQ(collectSetCookies(c.headers), c.pairs);
    }
    EXPECT_EQ(normaliseSetCookieNames("set-cookie: a=1\r\nSET-COOKIE: b=2"),
              "Set-Cookie: a=1\r\nSet-Cookie: b=2");
}

TEST(HeaderLines, NameAndValue) {
    EXPECT_EQ(httpHeaderName("X-Pair: a:b"), "X-Pair");
    EXPECT_EQ(httpHeaderValue("X-Pair: a:b"), "a:b");
    EXPECT_EQ(httpHeaderName("no colon"), "");
    EXPECT_EQ(httpHeaderValue("no colon"), "");
    EXPECT_EQ(httpHeaderValue("User-Agent: "), "");
    EXPECT_EQ(cookieName(" sid = 1"), "sid");
    EXPECT_EQ(cookieName("flag"), "flag");
    EXPECT_EQ(removeDuplicateEntries("a; b; a; c; b", "; "), "a; b; c");
    EXPECT_EQ(removeDuplicateEntries("", "; "), "");
}

TEST(UrlSplitting, Table) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
        const char* hostWithPort;
        const char* port;  // as written; empty when the URL gives none
        const char* path;
    } cases[] = {
        {"Example.COM/News", "http", "example.com", "example.com", "", "/News"},
        {"HTTPS://a.example:8443/x?y=1", "https", "a.example", "a.example:8443", "8443", "/x?y=1"},
        {"a.example", "http", "a.example", "a.example", "", "/"},
        {"http://a.example?x=1", "http", "a.example", "a.example", "", "/?x=1"},  // host ends at '?'
        {"http://a.example:81#top", "http", "a.example", "a.example:81", "81", "/"},
        {"https://b.example/list/", "https", "b.example", "b.example", "", "/list/"},
        {"http://127.0.0.1:8080/a/b.html", "http", "127.0.0.1", "127.0.0.1:8080", "8080", "/a/b.html"},
        // A schemeless URL is http for every routine, also when its host starts with "https".
        {"https.example.com/x", "http", "https.example.com", "https.example.com", "", "/x"},
        // "http://" inside the query does not move the host.
        {"https://a.example/go?to=http://b.example/", "https", "a.example", "a.example", "",
         "/go?to=http://b.example/"},
        {"a.example/r?u=http://evil.example/", "http", "a.example", "a.example", "",
         "/r?u=http://evil.example/"},
        {"http://[::1]:8080/x", "http", "[::1]", "[::1]:8080", "8080", "/x"},
        {"http://[2001:DB8::1]/", "http", "[2001:db8::1]", "[2001:db8::1]", "", "/"},
        {"https://user:pa:ss@A.example:444/p", "https", "a.example", "a.example:444", "444", "/p"},
        {"localhost:8080/list", "http", "localhost", "localhost:8080", "8080", "/list"},
        {"http://a.example/x/y.html#frag", "http", "a.example", "a.example", "", "/x/y.html"},
        {"http://a.example:abc/", "http", "a.example", "a.example:abc", "abc", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const UrlParts parts = splitUrl(c.url);
        EXPECT_EQ(parts.scheme, c.scheme);
        EXPECT_EQ(urlHost(c.url, false), c.host);
        EXPECT_EQ(urlHost(c.url, true), c.hostWithPort);
        EXPECT_EQ(parts.hasPort, *c.port != 0);
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.path, c.path);
    }
}

TEST(ResolveLink, AsABrowserFollowsLinks) {
    const std::string base = "http://h.example:8080/bbs/forum/list.php?fid=5#top";
    const struct {
        const char* link;
        const char* want;
    } cases[] = {
        {"viewthread.php?tid=7&extra=1", "http://h.example:8080/bbs/forum/viewthread.php?tid=7&extra=1"},
        {"/t/5", "http://h.example:8080/t/5"},
        {"//cdn.example/x", "http://cdn.example/x"},
        {"https://other.example/a?b", "https://other.example/a?b"},
        {"?page=2", "http://h.example:8080/bbs/forum/list.php?page=2"},
        {"#reply3", "http://h.example:8080/bbs/forum/list.php?fid=5#reply3"},
        {"../news/1.html", "http://h.example:8080/bbs/news/1.html"},
        {"./a/../b/./c", "http://h.example:8080/bbs/forum/b/c"},
        {"../../../../x", "http://h.example:8080/x"},
        {"", "http://h.example:8080/bbs/forum/list.php?fid=5"},
        {"帖子.html", "http://h.example:8080/bbs/forum/帖子.html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        EXPECT_EQ(gbkToUtf8(resolveLink(base, gbk(c.link))), c.want);
    }
    EXPECT_EQ(resolveLink("http://h.example", "a/b"), "http://h.example/a/b");
}

TEST(PageBase, TheBaseHrefWhenItIsAWebAddress) {
    const std::string url = "http://h.example/dir/page.html";
    EXPECT_EQ(pageBase(url, "<html><head><base href=\"https://cdn.example/root/\"></head>"),
              "https://cdn.example/root/");
    EXPECT_EQ(pageBase(url, "<head><BASE HREF='/other/'>"), "http://h.example/other/");
    EXPECT_EQ(pageBase(url, "<head><base href=\"javascript:alert(1)\">"), url);
    EXPECT_EQ(pageBase(url, "<head><base target=\"_blank\">"), url);
}

TEST(UrlForWire, EncodesChineseAsABrowserDoes) {
    EXPECT_EQ(urlForWire(gbk("http://x.example/搜索?q=新闻 a")),
              "http://x.example/%E6%90%9C%E7%B4%A2?q=%E6%96%B0%E9%97%BB%20a");
    EXPECT_EQ(urlForWire("http://x.example/a%20b"), "http://x.example/a%20b");
    EXPECT_EQ(urlForWire("x.example/p"), "http://x.example/p");
    // A host in another script goes out in its DNS form, the path percent-encoded.
    EXPECT_EQ(urlForWire(gbk("http://例子.测试/新闻")), "http://xn--fsqu00a.xn--0zwm56d/%E6%96%B0%E9%97%BB");
    EXPECT_EQ(urlForWire(gbk("https://Bücher.example:8443/")), "https://xn--bcher-kva.example:8443/");
    EXPECT_EQ(urlForWire("http://x.example/a\r\nHost: evil"), "http://x.example/a%0D%0AHost:%20evil");
    EXPECT_EQ(urlForWire("http://u:p@x.example:81/a#top"), "http://u:p@x.example:81/a");
}

TEST(WebUrls, OnlyHttpAndHttpsLeaveTheProgram) {
    struct Case {
        const char* url;
        bool allowed;
    } cases[] = {
        {"http://a.example/", true},    {"HTTPS://a.example/", true},       {"a.example/list", true},
        {"localhost:8080/", true},      {"file:///etc/shadow", false},      {"FILE:/etc/passwd", false},
        {"gopher://a.example/", false}, {"dict://a.example:11111/", false}, {"ftp://a.example/", false},
        {"smtp://a.example/", false},   {"javascript:alert(1)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(checkWebUrl(c.url).ok(), c.allowed);
    }
    EXPECT_TRUE(hasLineBreak("a\r\nHost: x"));
    EXPECT_TRUE(hasLineBreak(std::string("a\0b", 3)));
    EXPECT_FALSE(hasLineBreak("sid=1; uid=2"));
}

TEST(DecodeBody, ZeroBytesDroppedRestKept) {
    const std::string gbkPage = gbk("第一篇") + std::string("\0", 1) + gbk("第二篇");
    EXPECT_EQ(decodeBody(gbkPage, true), gbk("第一篇第二篇"));
    const std::string utf8Page = std::string("\xEF\xBB\xBF") + "<a>" + std::string("\0", 1) + "标题\xFF</a>";
    // The byte-order mark is no text of the page; a malformed byte becomes '?'.
    EXPECT_EQ(decodeBody(utf8Page, false), "<a>" + gbk("标题") + "?</a>");
    EXPECT_EQ(decodeBody("", true), "");
    EXPECT_EQ(decodeBody("", false), "");
}

}  // namespace
}  // namespace tovi

namespace tovi {
namespace {
TEST(DirectRequestAgent, FromHeaderText) {
    EXPECT_EQ(directRequestAgent("User-Agent: Ed/2"), "Ed/2");
    EXPECT_EQ(directRequestAgent("user-agent: X"), "X");
    EXPECT_EQ(directRequestAgent("Accept: */*"), kDefaultUserAgent);
}
}  // namespace
}  // namespace tovi
