#pragma once
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/store/StatusSink.h"
#include "core/text/Gbk.h"

namespace tovi::test {

// A fresh directory under the system temp dir, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Records the status log as the status box would show it.
class RecordingSink final : public StatusSink {
public:
    void append(std::string_view text) override;
    void replaceAll(std::string_view text) override;
    std::string text() const;
    std::string utf8() const { return gbkToUtf8(text()); }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Starts a program (found on PATH when the name has no "/") with the environment extended by
// extraEnv ("NAME=value"); its output goes to /dev/null, its errors to errFile. Its pid, 0 when
// it could not be started.
int spawnProgram(const std::vector<std::string>& argv, const std::string& errFile = "/dev/null",
                 const std::vector<std::string>& extraEnv = {});

// A new tovi.sdb with both tables, in dir.
std::filesystem::path makeDatabase(const std::filesystem::path& dir);

}  // namespace tovi::test
