#pragma once
// Which encoding a page is in, for a proposed plan's code and for a plan test that reads a page
// in an encoding it is not in: what the server says (Content-Type),
// a byte-order mark, what the page says (<meta charset>, an XML declaration), else whichever of
// UTF-8 and GBK reads the bytes validly.
#include <optional>
#include <string>
#include <string_view>

namespace tovi {

struct DetectedEncoding {
    bool gbk = false;
    std::string reason;  // how it was found (for the command line's output)
};

DetectedEncoding detectEncoding(std::string_view body, std::string_view contentType);

// A charset's name (lower case) as one of ours: GBK's family (gbk, gb2312, gb18030, cp936, …)
// true, UTF-8 false; nullopt for any other.
std::optional<bool> gbkByName(std::string_view name);

// True when the bytes read as GBK without a stray byte.
bool isValidGbk(std::string_view bytes);

}  // namespace tovi
