#pragma once
// GBK (code page 936) byte strings are the system's text; these helpers convert at the edges
// (network, terminal, GUI) and step over double-byte characters.
#include <cstddef>
#include <string>
#include <string_view>

namespace tovi {

// A GBK lead byte starts a two-byte character.
constexpr bool isGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character starting at text[pos]: 2 for a complete double-byte
// character, otherwise 1 (an ASCII byte, or a lead byte cut off at the end of the text).
inline std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
    return isGbkLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// The GBK form of a UTF-8 text written in our own sources (status texts, captions, keys).
// Characters without a GBK form become '?'.
std::string gbk(std::string_view utf8);

// UTF-8 to GBK that never fails: malformed UTF-8 and characters without a GBK form each
// become one '?'. A byte-order mark has no GBK form and so becomes '?' as well.
std::string Utf8ToGbk(std::string_view utf8);

// GBK to UTF-8 for the terminal and the GUI; undecodable bytes become U+FFFD.
std::string gbkToUtf8(std::string_view gbkText);

// Terminal columns a GBK text takes: double-byte characters are two wide.
std::size_t gbkDisplayWidth(std::string_view gbkText);

}  // namespace tovi
