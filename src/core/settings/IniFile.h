#pragma once
// A small INI reader/writer over GBK bytes that behaves like the Windows private-profile
// calls the settings file was made with: section and key names match without regard to
// ASCII letter case, values are trimmed, a missing file/section/key reads as empty text,
// and a write keeps every other line (and the file's CRLF line ends) as it was.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tovi {

class IniFile {
public:
    explicit IniFile(std::filesystem::path path) : m_path(std::move(path)) {}

    const std::filesystem::path& path() const { return m_path; }

    // Empty text when the file, the section or the key is missing.
    std::string read(std::string_view section, std::string_view key) const;
    std::optional<std::string> find(std::string_view section, std::string_view key) const;

    // Creates the file (and the section) on first write. The new content replaces the old
    // one atomically, so a crash mid-write never leaves half a settings file.
    bool write(std::string_view section, std::string_view key, std::string_view value);

private:
    std::filesystem::path m_path;
};

}  // namespace tovi
