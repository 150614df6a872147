#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/settings/ProgramDir.h"
#include "core/text/Gbk.h"

namespace tovi::cli {
namespace {

std::filesystem::path executableDir(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path();
    return std::filesystem::absolute(argv0, ec).parent_path();
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app(
        "Tovidesk on the command line: the plans, runs and articles of a program directory "
        "(tovi.sdb and tovimo.ini).",
        "tovidesk-cli");
    app.set_version_flag("--version", std::string("tovidesk-cli ") + TOVI_VERSION);
    app.require_subcommand(0, 1);
    app.fallthrough();
    std::string dir;
    app.add_option("--dir", dir,
                   "the program directory holding tovi.sdb and tovimo.ini (default: beside the program, or "
                   "~/.local/share/tovidesk when that cannot be written)");
    Action chosen;
    addStoreCommands(app, chosen);
    addPlanCommands(app, chosen);
    addRulesCommands(app, chosen);
    addPushCommands(app, chosen);
    addMonitorCommands(app, chosen);
    addArticleCommands(app, chosen);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version go to the output with 0; a bad argument says which and exits 2.
        const int code = app.exit(e, out, err);
        return code == 0 ? kOk : kUsage;
    }
    if (!chosen) {
        err << app.help() << "\nA command is needed (see above).\n";
        return kUsage;
    }
    std::filesystem::path programDir;
    if (!dir.empty()) {
        programDir = dir;
    } else {
        const auto exeDir = executableDir(argc > 0 ? argv[0] : "tovidesk-cli");
        programDir = programDataDir(exeDir);
        seedProgramFiles(exeDir, programDir);
    }
    Context ctx{programDir, out, err};
    // Nothing a page or a file holds may end the program without a word: what a command throws
    // is said, and the command failed.
    try {
        return chosen(ctx);
    } catch (const std::exception& e) {
        printLine(err, gbk("出错：") + e.what());
    } catch (...) {
        printLine(err, gbk("出错：命令因意外的故障停止"));
    }
    return kFailed;
}

}  // namespace tovi::cli
