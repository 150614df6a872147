#pragma once
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace tovi::cli {

// Exit codes: 0 done, 1 the work failed (SQL error, missing file), 2 bad arguments.
enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

struct Context {
    std::filesystem::path programDir;
    std::vector<std::string> args;  // the command's own arguments, UTF-8 as typed
    std::ostream& out;
    std::ostream& err;

    std::filesystem::path dbPath() const { return programDir / "tovi.sdb"; }
    std::filesystem::path iniPath() const { return programDir / "tovimo.ini"; }
};

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tovi::cli
