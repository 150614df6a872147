#include "core/net/Decode.h"

#include <algorithm>

#include "core/text/Gbk.h"

namespace tovi {

std::string decodeBody(std::string_view body, bool pageIsGbk) {
    std::string bytes(body);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    return pageIsGbk ? bytes : Utf8ToGbk(bytes);
}

}  // namespace tovi
