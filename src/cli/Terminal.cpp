#include "cli/Terminal.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <ostream>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi::cli {
namespace {
std::mutex g_outputMutex;

std::string forTerminal(std::string_view gbkText) {
    std::string text = gbkToUtf8(gbkText);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return terminalSafe(text);
}

// Cells stay on one line.
std::string flat(const std::string& cell) {
    std::string s = cell;
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return s;
}

// The code point of a bidirectional control character starting at i (LRM, RLM, ALM, the
// embeddings, overrides and isolates), or 0.
unsigned bidiControlAt(std::string_view utf8, std::size_t i) {
    auto byte = [&](std::size_t k) { return k < utf8.size() ? static_cast<unsigned char>(utf8[k]) : 0u; };
    if (byte(i) == 0xD8 && byte(i + 1) == 0x9C) return 0x061C;
    if (byte(i) != 0xE2) return 0;
    const unsigned b1 = byte(i + 1), b2 = byte(i + 2);
    if (b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) return 0x2000 + (b2 - 0x80);
    if (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9) return 0x2040 + (b2 - 0x80);
    return 0;
}

}  // namespace

std::string terminalSafe(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    char escape[16];
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else if (const unsigned bidi = bidiControlAt(utf8, i)) {
            // Marks that reorder what follows would make a title show other text than it holds.
            std::snprintf(escape, sizeof escape, "\\u%04X", bidi);
            out += escape;
            i += bidi == 0x061C ? 1 : 2;
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(utf8[i + 1]));
            out += escape;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void print(std::ostream& out, std::string_view gbkText) {
    std::lock_guard g(g_outputMutex);
    out << forTerminal(gbkText) << std::flush;
}

void printLine(std::ostream& out, std::string_view gbkText) {
    std::lock_guard g(g_outputMutex);
    out << forTerminal(gbkText) << '\n' << std::flush;
}

void printJson(std::ostream& out, const nlohmann::json& document) {
    const std::string text = document.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string safe;
    safe.reserve(text.size());
    char escape[16];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0x7F) {
            safe += "\\u007f";
        } else if (c == 0xC2 && next >= 0x80 && next < 0xA0) {
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            safe += escape;
            ++i;
        } else if (const unsigned bidi = bidiControlAt(text, i)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", bidi);
            safe += escape;
            i += bidi == 0x061C ? 1 : 2;
        } else {
            safe += static_cast<char>(c);
        }
    }
    std::lock_guard g(g_outputMutex);
    out << safe << '\n' << std::flush;
}

int printJsonError(std::ostream& out, std::string_view gbkText, int code) {
    printJson(out, nlohmann::json{{"error", gbkToUtf8(gbkText)}, {"exit_code", code}});
    return code;
}

void printTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(header.size(), 0);
    for (std::size_t c = 0; c < header.size(); ++c) widths[c] = gbkDisplayWidth(header[c]);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], std::min<std::size_t>(gbkDisplayWidth(flat(row[c])), 60));
    auto emit = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            std::string cell = c < cells.size() ? flat(cells[c]) : std::string();
            std::size_t w = gbkDisplayWidth(cell);
            if (c) line += " | ";
            line += cell;
            if (c + 1 < widths.size() && w < widths[c]) line.append(widths[c] - w, ' ');
        }
        printLine(out, line);
    };
    emit(header);
    std::string rule;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        if (c) rule += "-+-";
        rule.append(widths[c], '-');
    }
    printLine(out, rule);
    for (const auto& row : rows) emit(row);
}

void printTsv(std::ostream& out, const std::vector<std::string>& header,
              const std::vector<std::vector<std::string>>& rows) {
    auto emit = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t k = 0; k < cells.size(); ++k) line += (k ? "\t" : "") + flat(cells[k]);
        printLine(out, line);
    };
    emit(header);
    for (const auto& row : rows) emit(row);
}

void TerminalStatusSink::append(std::string_view text) {
    if (text.substr(0, 2) == "\r\n")
        print(m_out, "\n" + std::string(text.substr(2)));
    else
        print(m_out, text);
}

void TerminalStatusSink::replaceAll(std::string_view text) {
    if (!text.empty()) print(m_out, "\n" + std::string(text));
}

}  // namespace tovi::cli
