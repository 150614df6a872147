#pragma once
// GBK (code page 936) byte strings are the system's text; these helpers convert at the edges
// (network, terminal, GUI) and step over whole characters. A character GBK cannot hold is kept
// in GB18030's four-byte form (a superset of GBK), so GBK texts stay byte for byte as they are
// and no character is lost.
#include <cstddef>
#include <string>
#include <string_view>

namespace tovi {

// A GBK lead byte starts a two-byte character; its second byte lies in 0x40-0xFE without 0x7F.
constexpr bool isGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool isGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
// GB18030's four-byte form: lead, digit, lead, digit.
constexpr bool isGb18030Digit(unsigned char c) { return c >= 0x30 && c <= 0x39; }

// Length in bytes of the character starting at text[pos]: 2 for a complete double-byte
// character, 4 for a complete GB18030 four-byte one, otherwise 1 (an ASCII byte, or a stray
// lead byte: one cut off at the end of the text or followed by a byte that cannot continue a
// character, which then starts the next one).
inline std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[pos + k]); };
    if (!isGbkLeadByte(at(0)) || pos + 1 >= text.size()) return 1;
    if (isGbkTrailByte(at(1))) return 2;
    if (isGb18030Digit(at(1)) && pos + 3 < text.size() && isGbkLeadByte(at(2)) && isGb18030Digit(at(3)))
        return 4;
    return 1;
}

// The GBK form of a UTF-8 text written in our own sources (status texts, captions, keys).
std::string gbk(std::string_view utf8);

// UTF-8 to GBK that never fails: characters without a GBK form take their GB18030 form;
// malformed UTF-8 becomes one '?' a sequence.
std::string utf8ToGbk(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (plain ASCII included).
bool isValidUtf8(std::string_view bytes);

// Text that came off the wire: UTF-8 becomes GBK; bytes that are not UTF-8 (a GBK site's own
// bytes) are kept as they are.
std::string wireTextToGbk(std::string_view bytes);

// GBK (with GB18030's four-byte characters) to UTF-8 for the terminal and the GUI; undecodable
// bytes become U+FFFD.
std::string gbkToUtf8(std::string_view gbkText);

// Terminal columns a GBK text takes: double-byte and four-byte characters are two wide.
std::size_t gbkDisplayWidth(std::string_view gbkText);

}  // namespace tovi
