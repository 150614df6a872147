#include "core/text/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace tovi {
namespace {

// CP936 is the Windows flavour of GBK (it has the euro sign at 0x80); fall back to plain GBK.
iconv_t openConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::string t = to, f = from;
        if (t == "CP936") cd = iconv_open("GBK", from);
        if (f == "CP936") cd = iconv_open(to, "GBK");
    }
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: GBK converter missing");
    return cd;
}

class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(openConverter(to, from)) {}
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; on a stop returns errno with in/out advanced.
    int step(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[16384];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t rc = iconv(m_cd, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buffer, outPtr - buffer);
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                int err = errno;
                iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
                return err;
            }
        }
        return 0;
    }

private:
    iconv_t m_cd;
};

// Length of the well-formed UTF-8 sequence at p, or 0 when it is malformed.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t left) {
    unsigned char c = p[0];
    std::size_t len;
    unsigned int cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (left < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// One converter each way per thread: opening one costs more than converting a page.
Converter& toGbk() {
    thread_local Converter conv("CP936", "UTF-8");
    return conv;
}

Converter& fromGbk() {
    thread_local Converter conv("UTF-8", "CP936");
    return conv;
}

// Only for what CP936 cannot hold: GB18030 agrees with it on every GBK character but the euro
// sign, and GBK texts must keep their bytes.
Converter& toGb18030() {
    thread_local Converter conv("GB18030", "UTF-8");
    return conv;
}

Converter& fromGb18030() {
    thread_local Converter conv("UTF-8", "GB18030");
    return conv;
}

// Length of the run of ASCII bytes at the start (ASCII is the same in UTF-8 and GBK).
std::size_t asciiRun(const char* p, std::size_t n) {
    std::size_t i = 0;
    // Eight bytes at a time while none has its high bit set.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
    return i;
}

}  // namespace

std::string utf8ToGbk(std::string_view utf8) {
    std::string out;
    if (utf8.empty()) return out;
    out.reserve(utf8.size());
    Converter& conv = toGbk();
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        // ASCII runs are copied; only the rest goes through the converter.
        std::size_t ascii = asciiRun(in, left);
        out.append(in, ascii);
        in += ascii;
        left -= ascii;
        if (left == 0) break;
        std::size_t end = 0;
        while (end < left && static_cast<unsigned char>(in[end]) >= 0x80) ++end;
        const char* chunkStart = in;
        std::size_t chunk = end;
        if (conv.step(in, chunk, out) == 0) {
            left -= end;
            continue;
        }
        // Stopped at a character GBK cannot hold (it takes its GB18030 form) or at a
        // malformed sequence (one '?').
        left -= static_cast<std::size_t>(in - chunkStart);
        std::size_t len = utf8SequenceLength(reinterpret_cast<const unsigned char*>(in), left);
        const char* one = in;
        std::size_t oneLeft = len;
        const std::size_t before = out.size();
        if (len == 0 || toGb18030().step(one, oneLeft, out) != 0) {
            out.resize(before);
            out.push_back('?');
        }
        std::size_t skip = len == 0 ? 1 : len;
        in += skip;
        left -= skip;
    }
    return out;
}

std::string gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t len = utf8SequenceLength(p, left);
        if (len == 0) return false;
        p += len;
        left -= len;
    }
    return true;
}

std::string wireTextToGbk(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return isValidUtf8(bytes) ? utf8ToGbk(bytes) : std::string(bytes);
    return std::string(bytes);
}

std::string gbkToUtf8(std::string_view gbkText) {
    std::string out;
    if (gbkText.empty()) return out;
    out.reserve(gbkText.size() * 3 / 2);
    Converter& conv = fromGbk();
    const char* in = gbkText.data();
    std::size_t left = gbkText.size();
    while (left > 0) {
        if (conv.step(in, left, out) == 0) break;
        // A character CP936 does not hold may be GB18030's: its four-byte forms, and two-byte
        // codes GB18030 added (its euro sign A2 E3). Only then is it a fault, one byte at a time.
        const std::size_t pos = static_cast<std::size_t>(in - gbkText.data());
        if (const std::size_t len = gbkCharLength(gbkText, pos); len == 2 || len == 4) {
            const char* one = in;
            std::size_t oneLeft = len;
            const std::size_t before = out.size();
            if (fromGb18030().step(one, oneLeft, out) == 0) {
                in += len;
                left -= len;
                continue;
            }
            out.resize(before);
        }
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    return out;
}

std::size_t gbkDisplayWidth(std::string_view gbkText) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < gbkText.size();) {
        std::size_t len = gbkCharLength(gbkText, i);
        width += len == 4 ? 2 : len;
        i += len;
    }
    return width;
}

}  // namespace tovi
