#include "support/TestSupport.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/store/Database.h"
#include "core/store/Schema.h"

namespace tovi::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    m_path = std::filesystem::temp_directory_path() /
             ("tovi-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void RecordingSink::append(std::string_view text) {
    std::lock_guard g(m_mutex);
    m_text += text;
}

void RecordingSink::replaceAll(std::string_view text) {
    std::lock_guard g(m_mutex);
    m_text = text;
}

std::string RecordingSink::text() const {
    std::lock_guard g(m_mutex);
    return m_text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::filesystem::path makeDatabase(const std::filesystem::path& dir) {
    auto path = dir / "tovi.sdb";
    Database db;
    if (!db.create(path) || !createSchema(db)) throw std::runtime_error("cannot create " + path.string());
    return path;
}

}  // namespace tovi::test
