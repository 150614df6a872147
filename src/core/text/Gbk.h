#pragma once
// GBK (code page 936) byte strings are the system's text; these helpers convert at the edges
// (network, terminal, GUI) and step over double-byte characters.
#include <cstddef>
#include <string>
#include <string_view>

namespace tovi {

// A GBK lead byte starts a two-byte character; its second byte lies in 0x40-0xFE without 0x7F.
constexpr bool isGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool isGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length in bytes of the character starting at text[pos]: 2 for a complete double-byte
// character, otherwise 1 (an ASCII byte, or a stray lead byte: one cut off at the end of the
// text or followed by a byte that cannot end a character, which then starts the next one).
inline std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
    return isGbkLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() &&
                   isGbkTrailByte(static_cast<unsigned char>(text[pos + 1]))
               ? 2
               : 1;
}

// The GBK form of a UTF-8 text written in our own sources (status texts, captions, keys).
// Characters without a GBK form become '?'.
std::string gbk(std::string_view utf8);

// UTF-8 to GBK that never fails: malformed UTF-8 and characters without a GBK form each
// become one '?'. A byte-order mark has no GBK form and so becomes '?' as well.
std::string Utf8ToGbk(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (plain ASCII included).
bool isValidUtf8(std::string_view bytes);

// Text that came off the wire: UTF-8 becomes GBK; bytes that are not UTF-8 (a GBK site's own
// bytes) are kept as they are.
std::string wireTextToGbk(std::string_view bytes);

// GBK to UTF-8 for the terminal and the GUI; undecodable bytes become U+FFFD.
std::string gbkToUtf8(std::string_view gbkText);

// Terminal columns a GBK text takes: double-byte characters are two wide.
std::size_t gbkDisplayWidth(std::string_view gbkText);

}  // namespace tovi
