#pragma once
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace tovi::cli {

// Exit codes: 0 done, 1 the work failed (SQL error, missing file), 2 bad arguments; a run ended
// by SIGINT or SIGTERM exits 130 or 143 after its clean stop.
enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2, kInterrupted = 130, kTerminated = 143 };

struct Context {
    std::filesystem::path programDir;
    std::ostream& out;
    std::ostream& err;

    std::filesystem::path dbPath() const { return programDir / "tovi.sdb"; }
    std::filesystem::path iniPath() const { return programDir / "tovimo.ini"; }
};

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tovi::cli
