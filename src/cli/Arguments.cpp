#include "cli/Arguments.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <optional>

#include "core/net/Encoding.h"
#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi::cli {
namespace {

// Charset names in lower case.
bool isUtf8Name(const std::string& name) { return gbkByName(name) == false; }
bool isAsciiName(const std::string& name) {
    return name.empty() || name == "ansi_x3.4-1968" || name == "ascii" || name == "us-ascii" || name == "c" ||
           name == "posix";
}
bool isGbkName(const std::string& name) { return gbkByName(name) == true; }

// The codeset a locale name carries after its '.', before any '@'.
std::string codesetOf(const char* locale) {
    if (!locale || !*locale) return {};
    const std::string name = locale;
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos) return {};
    return name.substr(dot + 1, name.find('@', dot) - dot - 1);
}

std::optional<std::string> convert(const std::string& bytes, const std::string& from) {
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    char* o = out.data();
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string localeCharset() {
    if (std::setlocale(LC_CTYPE, "")) {
        const std::string set = nl_langinfo(CODESET);
        std::setlocale(LC_CTYPE, "C");
        if (!isAsciiName(asciiLower(set))) return set;
    }
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        const std::string set = codesetOf(value);
        return set.empty() ? "UTF-8" : set;  // the first one set decides, as for the locale
    }
    return "UTF-8";
}

Result<std::vector<std::string>> argumentsAsUtf8(int argc, char** argv, const std::string& charset) {
    const std::string name = asciiLower(charset);
    std::vector<std::string> args;
    for (int k = 0; k < argc; ++k) {
        const std::string arg = argv[k] ? argv[k] : "";
        const bool ascii =
            std::all_of(arg.begin(), arg.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii || ((isUtf8Name(name) || isAsciiName(name)) && isValidUtf8(arg))) {
            args.push_back(arg);
            continue;
        }
        // GBK's family read as GB18030, which holds every GBK character and the rest of Unicode.
        std::optional<std::string> utf8;
        if (!isUtf8Name(name) && !isAsciiName(name))
            utf8 = convert(arg, isGbkName(name) ? "GB18030" : charset);
        if (!utf8)
            return Error{gbk("参数 ") + std::to_string(k) + gbk(" 不是 ") + charset +
                         gbk(" 文字（终端的字符集由 LANG / LC_ALL 决定，例如 zh_CN.UTF-8 或 zh_CN.GBK）")};
        args.push_back(std::move(*utf8));
    }
    return args;
}

}  // namespace tovi::cli
