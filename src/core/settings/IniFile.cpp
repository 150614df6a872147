#include "core/settings/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/store/AtomicFile.h"
#include "core/text/TextOps.h"

namespace tovi {
namespace {

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
};

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<Line> splitLines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({content.substr(pos), ""});
            break;
        }
        std::size_t textEnd = nl > pos && content[nl - 1] == '\r' ? nl - 1 : nl;
        lines.push_back({content.substr(pos, textEnd - pos), content.substr(textEnd, nl + 1 - textEnd)});
        pos = nl + 1;
    }
    return lines;
}

// White space the profile reader strips around names and values.
std::string_view stripBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<std::string> sectionName(std::string_view line) {
    std::string_view s = stripBlanks(line);
    if (s.size() < 2 || s.front() != '[') return std::nullopt;
    std::size_t close = s.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(stripBlanks(s.substr(1, close - 1)));
}

bool sameName(std::string_view a, std::string_view b) { return asciiLower(a) == asciiLower(b); }

// Key and value of a "key=value" line; nullopt for comments and lines without "=".
std::optional<std::pair<std::string, std::string>> keyValue(std::string_view line) {
    std::string_view s = stripBlanks(line);
    if (s.empty() || s.front() == ';') return std::nullopt;
    std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view value = stripBlanks(s.substr(eq + 1));
    // Like the Windows reader: one pair of enclosing quotes is removed.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::make_pair(std::string(stripBlanks(s.substr(0, eq))), std::string(value));
}

// Missing write bits stand for the read-only attribute of the Windows file this was made
// for: they are honoured even where the process could write anyway (as root).
bool writable(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

std::optional<std::string> IniFile::find(std::string_view section, std::string_view key) const {
    auto content = readFile(m_path);
    if (!content) return std::nullopt;
    bool inSection = false;
    for (const Line& line : splitLines(*content)) {
        if (auto name = sectionName(line.text)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (auto kv = keyValue(line.text); kv && sameName(kv->first, key)) return kv->second;
    }
    return std::nullopt;
}

std::string IniFile::read(std::string_view section, std::string_view key) const {
    return find(section, key).value_or(std::string());
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    // A link is followed, so the file it points to is the one written.
    std::error_code ec;
    std::filesystem::path target = m_path;
    if (std::filesystem::is_symlink(m_path, ec)) {
        target = std::filesystem::canonical(m_path, ec);
        if (ec) return false;  // a dangling link
    }
    std::filesystem::path dir =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    const bool exists = std::filesystem::exists(target, ec);
    if ((exists && !writable(target)) || !writable(dir)) return false;
    std::string content = readFile(target).value_or(std::string());
    std::vector<Line> lines = splitLines(content);
    // New lines follow the file's own line ends; a new file gets CRLF as Windows writes it.
    std::string eol = "\r\n";
    for (const Line& l : lines)
        if (!l.end.empty()) {
            eol = l.end;
            break;
        }
    const std::string newLine = std::string(key) + "=" + std::string(value);

    int sectionStart = -1, lastInSection = -1, keyLine = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (auto name = sectionName(lines[i].text)) {
            if (sectionStart >= 0) break;
            if (sameName(*name, section)) sectionStart = lastInSection = i;
            continue;
        }
        if (sectionStart < 0) continue;
        if (!stripBlanks(lines[i].text).empty()) lastInSection = i;
        if (auto kv = keyValue(lines[i].text); kv && sameName(kv->first, key)) {
            keyLine = i;
            break;
        }
    }
    if (keyLine >= 0) {
        lines[keyLine].text = newLine;
    } else if (sectionStart >= 0) {
        if (lines[lastInSection].end.empty()) lines[lastInSection].end = eol;
        lines.insert(lines.begin() + lastInSection + 1, Line{newLine, eol});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back({"[" + std::string(section) + "]", eol});
        lines.push_back({newLine, eol});
    }

    std::string out;
    out.reserve(content.size() + newLine.size() + 16);
    for (const Line& l : lines) out += l.text + l.end;

    // It holds the user's settings and, in the Windows version's keys, logins: the owner's only.
    return replaceFileAtomically(target, out, 0600).ok();
}

}  // namespace tovi
