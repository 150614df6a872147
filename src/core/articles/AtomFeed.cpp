#include "core/articles/AtomFeed.h"

#include <algorithm>
#include <cstdio>

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {

std::string xmlText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // XML 1.0 holds no control characters but tab and line breaks; C1 controls
                // (U+0080-U+009F, C2 80-C2 9F) are left out too.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
                if (c == 0x7F) break;
                if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0 &&
                    static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
                    ++i;
                    break;
                }
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string localRfc3339(std::tm local) {
    // The offset in force at that moment (summer time included), from the system's zone.
    local.tm_isdst = -1;
    const std::time_t at = std::mktime(&local);
    std::tm back{};
    localtime_r(&at, &back);
    const long offset = back.tm_gmtoff;
    // A zone is never a day off UTC: the hours fit two digits whatever the system says.
    const long minutes = std::min<long>((offset < 0 ? -offset : offset) / 60, 23 * 60 + 59);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", back.tm_year + 1900,
                  back.tm_mon + 1, back.tm_mday, back.tm_hour, back.tm_min, back.tm_sec,
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

std::string captureTimeToRfc3339(const std::string& addtime, const std::tm& now) {
    int month = 0, day = 0, hour = 0, minute = 0;
    char tail = 0;
    if (std::sscanf(addtime.c_str(), "%d/%d %d:%d%c", &month, &day, &hour, &minute, &tail) != 4) return {};
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return {};
    int year = now.tm_year + 1900;
    const bool ahead = month > now.tm_mon + 1 || (month == now.tm_mon + 1 && day > now.tm_mday);
    if (ahead) --year;
    std::tm captured{};
    captured.tm_year = year - 1900;
    captured.tm_mon = month - 1;
    captured.tm_mday = day;
    captured.tm_hour = hour;
    captured.tm_min = minute;
    return localRfc3339(captured);
}

std::string atomFeed(const FeedInfo& feed, const std::vector<ArticleRow>& rows, const std::tm& now) {
    std::string updated = localRfc3339(now);
    if (!rows.empty())
        if (std::string newest = captureTimeToRfc3339(cellOf(rows.front(), kInfoAddtime), now);
            !newest.empty())
            updated = newest;
    std::string x =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
    x += "  <title>" + xmlText(gbkToUtf8(feed.title)) + "</title>\n";
    x += "  <id>" + xmlText(feed.id) + "</id>\n";
    x += "  <updated>" + updated + "</updated>\n";
    x += "  <generator>Tovidesk</generator>\n";
    for (const ArticleRow& row : rows) {
        const std::string plan = xmlText(gbkToUtf8(cellOf(row, kInfoPlanname)));
        std::string when = captureTimeToRfc3339(cellOf(row, kInfoAddtime), now);
        if (when.empty()) when = updated;
        x += "  <entry>\n";
        x += "    <title>" + xmlText(gbkToUtf8(decodeEntities(cellOf(row, kInfoTitle)))) + "</title>\n";
        x += "    <link href=\"" + xmlText(gbkToUtf8(browserLink(cellOf(row, kInfoUrl)))) + "\"/>\n";
        x += "    <id>" + xmlText(feed.id) + "/article/" + cellOf(row, kInfoId) + "</id>\n";
        x += "    <updated>" + when + "</updated>\n";
        x += "    <author><name>" + plan + "</name></author>\n";
        x += "    <category term=\"" + plan + "\"/>\n";
        if (!cellOf(row, kInfoOther).empty())
            x += "    <summary>" + xmlText(gbkToUtf8(cellOf(row, kInfoOther))) + "</summary>\n";
        x += "  </entry>\n";
    }
    x += "</feed>\n";
    return x;
}

}  // namespace tovi
