#include <iostream>

#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"

int main(int argc, char** argv) {
    // Typed in the terminal's charset; the command line reads UTF-8.
    auto args = tovi::cli::argumentsAsUtf8(argc, argv, tovi::cli::localeCharset());
    if (!args) {
        tovi::cli::printLine(std::cerr, args.error());
        return tovi::cli::kUsage;
    }
    std::vector<char*> utf8;
    for (std::string& a : *args) utf8.push_back(a.data());
    utf8.push_back(nullptr);
    return tovi::cli::runCli(argc, utf8.data(), std::cout, std::cerr);
}
