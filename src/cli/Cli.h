#pragma once
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tovi {
class Database;
}

namespace tovi::cli {

// Exit codes: 0 done, 1 the work failed (SQL error, missing file), 2 bad arguments; a run ended
// by SIGINT or SIGTERM exits 130 or 143 after its clean stop.
enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2, kInterrupted = 130, kTerminated = 143 };

// What a command works with: the program directory, the terminal, and the program's database,
// opened once for the command that asks for it.
struct Context {
    Context(std::filesystem::path dir, std::ostream& o, std::ostream& e);
    ~Context();

    std::filesystem::path programDir;
    std::ostream& out;
    std::ostream& err;

    std::filesystem::path dbPath() const { return programDir / "tovi.sdb"; }
    std::filesystem::path iniPath() const { return programDir / "tovimo.ini"; }

    // DIR/tovi.sdb as the program opens it at start-up: a missing file is the start-up
    // failure "启动失败" with the path, and nothing is ever created. Opened on the first call;
    // nullptr (the reason printed once) when it cannot be.
    Database* database();

private:
    std::unique_ptr<Database> m_db;
    bool m_opened = false;
};

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tovi::cli
