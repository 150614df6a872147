#include "support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/store/Database.h"
#include "core/store/Schema.h"

extern char** environ;

namespace tovi::test {

int spawnProgram(const std::vector<std::string>& args, const std::string& errFile,
                 const std::vector<std::string>& extraEnv) {
    std::vector<std::string> all(args);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment(extraEnv);
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

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
