#include "core/net/Decode.h"

#include <algorithm>

#include "core/text/Gbk.h"

namespace tovi {

std::string decodeBody(std::string body, bool pageIsGbk) {
    body.erase(std::remove(body.begin(), body.end(), '\0'), body.end());
    if (pageIsGbk) return body;
    return Utf8ToGbk(body);
}

}  // namespace tovi
