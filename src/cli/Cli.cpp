#include "cli/Cli.h"

#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/text/Gbk.h"

namespace tovi::cli {
namespace {

std::filesystem::path executableDir(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path();
    return std::filesystem::absolute(argv0, ec).parent_path();
}

void usage(std::ostream& out) {
    out << "Usage: tovidesk-cli [--dir DIR] COMMAND [ARGS]\n"
           "  DIR is the program directory holding tovi.sdb and tovimo.ini (default: beside the program).\n"
           "\n"
           "Commands:\n"
           "  init [--samples FILE]          create DIR/tovi.sdb (never overwrites); FILE: UTF-8 SQL to run "
           "after\n"
           "  sql STATEMENT                  run SQL as the options window's console does; rows are shown\n"
           "  settings get KEY               read a key of tovimo.ini (section 配置)\n"
           "  settings set KEY VALUE         write a key of tovimo.ini\n"
           "  plans                          list the plans (id, category, name, ticked, url, last run)\n"
           "  run [--plan ID]... [--cycles N] [--every SECONDS] [--pause-ms MS]\n"
           "                                 run the given plans (default: those ticked, isdo=1); one pass "
           "unless\n"
           "                                 --cycles; between cycles --every or 频率 (at least 10 s); "
           "Ctrl-C stops\n"
           "  articles [--plan ID | --favourites | --search TEXT] [--page N] [--format table|tsv|json]\n"
           "                                 100 articles a page, newest first\n"
           "  favourite ARTICLE_ID on|off    mark or unmark a favourite\n"
           "  test --plan ID                 try a plan: the cut page and every match with its groups\n";
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::filesystem::path dir = executableDir(argc > 0 ? argv[0] : "tovidesk-cli");
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--dir") {
            if (i + 1 >= argc) {
                err << "--dir needs a directory\n";
                return kUsage;
            }
            dir = argv[++i];
        } else if (a == "-h" || a == "--help" || a == "help") {
            usage(out);
            return kOk;
        } else {
            break;
        }
    }
    if (i >= argc) {
        usage(err);
        return kUsage;
    }
    std::string command = argv[i++];
    Context ctx{dir, std::vector<std::string>(argv + i, argv + argc), out, err};

    static const std::map<std::string, std::function<int(Context&)>> commands = {
        {"init", commandInit},         {"sql", commandSql},
        {"settings", commandSettings}, {"run", commandRun},
        {"articles", commandArticles}, {"plans", commandPlans},
        {"test", commandTest},         {"favourite", commandFavourite},
    };
    auto it = commands.find(command);
    if (it == commands.end()) {
        err << "Unknown command: " << command << "\n";
        usage(err);
        return kUsage;
    }
    return it->second(ctx);
}

}  // namespace tovi::cli
