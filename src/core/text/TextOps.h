#pragma once
// Searching, replacing, trimming and cutting GBK texts. Every search steps over double-byte
// characters as whole characters, so a match never starts on a trail byte.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tovi {

constexpr std::size_t kNotFound = std::string_view::npos;

enum class CaseMode { Sensitive, AsciiInsensitive };

// Position of the first occurrence of needle at a character boundary at or after `from`
// (which must itself be a character boundary). An empty needle is found at `from`.
std::size_t gbkFind(std::string_view text, std::string_view needle, std::size_t from = 0,
                    CaseMode mode = CaseMode::Sensitive);

bool gbkContains(std::string_view text, std::string_view needle, CaseMode mode = CaseMode::Sensitive);

// Every occurrence of `from` replaced by `to`, left to right, in one pass.
std::string gbkReplaceAll(std::string_view text, std::string_view from, std::string_view to,
                          CaseMode mode = CaseMode::Sensitive);

// Pieces between separators; an empty text gives no pieces, a trailing separator adds none.
std::vector<std::string> gbkSplit(std::string_view text, std::string_view separator);

// Removes ASCII spaces and the full-width space "　" at both ends; tabs and line breaks stay.
std::string trimSpaces(std::string_view text);

std::string asciiLower(std::string_view text);

// A marker as a plan stores it writes a double quote as "#引号" (the boxes and the SQL console
// of the Windows version keep it so): the text it matches, and the stored form of a text.
std::string markerText(std::string_view storedMarker);
std::string storedMarker(std::string_view text);

// The text strictly between the first `left` and the first `right` after it; "#引号" in a
// marker stands for a double quote. Empty when either marker is missing, when `right` is
// empty, or when the text is empty; an empty `left` starts at the first character.
std::string textBetween(std::string_view text, std::string_view left, std::string_view right);
// The same stretch as a view into text, for a page too large to copy.
std::string_view textBetweenView(std::string_view text, std::string_view left, std::string_view right);

// The trimmed, non-empty texts enclosed by `open` and the next `close`, in order; markers
// are matched case-insensitively for ASCII letters.
std::vector<std::string> segmentsBetween(std::string_view text, std::string_view open,
                                         std::string_view close);

}  // namespace tovi
