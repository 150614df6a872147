#include "core/net/Decode.h"

#include <algorithm>

#include "core/text/Gbk.h"

namespace tovi {

std::string decodeBody(std::string body, bool pageIsGbk) {
    body.erase(std::remove(body.begin(), body.end(), '\0'), body.end());
    if (pageIsGbk) return body;
    // A byte-order mark says how the page is written; it is no text of the page.
    if (body.starts_with("\xEF\xBB\xBF")) return utf8ToGbk(std::string_view(body).substr(3));
    return utf8ToGbk(body);
}

}  // namespace tovi
