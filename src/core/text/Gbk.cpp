#include "core/text/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

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

// Every two-byte GBK character and every BMP character GBK holds, read once from the converter
// itself: most characters then cost a table look-up instead of a converter call, with exactly
// the converter's answers. What the tables lack (four-byte forms, bytes that are no text) still
// goes through the converter.
struct GbkTables {
    static constexpr int kTrails = 0xFF - 0x40;                                 // trail bytes 0x40..0xFE
    std::vector<char32_t> toUnicode = std::vector<char32_t>(126 * kTrails, 0);  // by (lead, trail); 0: none
    std::vector<std::uint16_t> fromUnicode = std::vector<std::uint16_t>(0x10000, 0);  // GBK bytes; 0: none

    GbkTables() {
        Converter decode("UTF-8", "CP936");
        Converter encode("CP936", "UTF-8");
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char* in = bytes;
                std::size_t left = 2;
                std::string out;
                if (decode.step(in, left, out) != 0 || out.empty()) continue;
                std::size_t len =
                    utf8SequenceLength(reinterpret_cast<const unsigned char*>(out.data()), out.size());
                if (len != out.size() || len < 2 || len > 3) continue;
                toUnicode[static_cast<std::size_t>((lead - 0x81) * kTrails + (trail - 0x40))] =
                    decodeOne(out);
            }
        for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            const std::string utf8 = encodeOne(cp);
            const char* in = utf8.data();
            std::size_t left = utf8.size();
            std::string out;
            if (encode.step(in, left, out) != 0) continue;
            if (out.size() == 2)
                fromUnicode[cp] = static_cast<std::uint16_t>((static_cast<unsigned char>(out[0]) << 8) |
                                                             static_cast<unsigned char>(out[1]));
            else if (out.size() == 1)
                fromUnicode[cp] = static_cast<unsigned char>(out[0]);  // CP936's euro sign, 0x80
        }
    }
    static char32_t decodeOne(const std::string& utf8) {
        const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
        if (utf8.size() == 2) return static_cast<char32_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
        return static_cast<char32_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    }
    static std::string encodeOne(char32_t cp) {
        std::string out;
        appendUtf8(out, cp);
        return out;
    }
    static void appendUtf8(std::string& out, char32_t cp) {
        if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
};

const GbkTables& gbkTables() {
    static const GbkTables tables;
    return tables;
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
    const GbkTables& tables = gbkTables();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        // ASCII runs are copied; the characters between them are looked up.
        const std::size_t ascii = asciiRun(utf8.data() + i, n - i);
        out.append(utf8.data() + i, ascii);
        i += ascii;
        while (i < n && p[i] >= 0x80) {
            const std::size_t len = utf8SequenceLength(p + i, n - i);
            if (len == 2 || len == 3) {
                const char32_t cp =
                    len == 2 ? ((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F)
                             : ((p[i] & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
                if (const std::uint16_t code = tables.fromUnicode[cp]) {
                    if (code > 0xFF) out += static_cast<char>(code >> 8);
                    out += static_cast<char>(code & 0xFF);
                    i += len;
                    continue;
                }
            }
            // A character GBK cannot hold takes its GB18030 form; a malformed sequence one '?'.
            const std::size_t before = out.size();
            const char* one = utf8.data() + i;
            std::size_t oneLeft = len;
            bool converted = len > 0 && toGbk().step(one, oneLeft, out) == 0;
            if (!converted && len > 0) {
                out.resize(before);
                one = utf8.data() + i;
                oneLeft = len;
                converted = toGb18030().step(one, oneLeft, out) == 0;
            }
            if (!converted) {
                out.resize(before);
                out.push_back('?');
            }
            i += len == 0 ? 1 : len;
        }
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

namespace {

// One stretch of GBK text that starts with a lead byte, up to the next ASCII byte that starts a
// character (a trail byte may be ASCII: the stretch is walked character by character).
void gbkStretchToUtf8(std::string_view gbkText, std::size_t from, std::size_t to, std::string& out) {
    Converter& conv = fromGbk();
    const char* in = gbkText.data() + from;
    std::size_t left = to - from;
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
}

}  // namespace

std::string gbkToUtf8(std::string_view gbkText) {
    std::string out;
    if (gbkText.empty()) return out;
    out.reserve(gbkText.size() + gbkText.size() / 4);
    const GbkTables& tables = gbkTables();
    // Most of a page is ASCII, the same in both: runs of it are copied eight bytes at a time; the
    // characters between them are looked up, and only what the table lacks meets the converter.
    const std::size_t n = gbkText.size();
    const auto* p = reinterpret_cast<const unsigned char*>(gbkText.data());
    for (std::size_t i = 0; i < n;) {
        const std::size_t ascii = asciiRun(gbkText.data() + i, n - i);
        out.append(gbkText.data() + i, ascii);
        i += ascii;
        while (i < n && p[i] >= 0x80) {
            const std::size_t len = std::min(gbkCharLength(gbkText, i), n - i);
            if (len == 2)
                if (const char32_t cp = tables.toUnicode[static_cast<std::size_t>(
                        (p[i] - 0x81) * GbkTables::kTrails + (p[i + 1] - 0x40))]) {
                    GbkTables::appendUtf8(out, cp);
                    i += 2;
                    continue;
                }
            gbkStretchToUtf8(gbkText, i, i + len, out);
            i += len;
        }
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
