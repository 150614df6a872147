#pragma once
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace tovi::test {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

inline CliRun runCli(const std::filesystem::path& dir, std::vector<std::string> args) {
    std::vector<std::string> all = {"tovidesk-cli", "--dir", dir.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    std::ostringstream out, err;
    int code = cli::runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

}  // namespace tovi::test
