#include <fstream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/settings/Settings.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"

namespace tovi::cli {

std::unique_ptr<Database> openProgramDatabase(Context& ctx) {
    auto path = ctx.dbPath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        printLine(ctx.err, gbk("启动失败：数据库文件 tovi.sdb 不存在，无法工作！"));
        ctx.err << "  looked for: " << path.string() << "\n"
                << "  create one with: tovidesk-cli --dir " << ctx.programDir.string() << " init\n";
        return nullptr;
    }
    auto db = std::make_unique<Database>();
    if (auto problem = openMainDatabase(*db, path)) {
        printLine(ctx.err, gbk("数据库打开失败！") + *problem);
        ctx.err << "  path: " << path.string() << "\n";
        return nullptr;
    }
    return db;
}

int commandInit(Context& ctx) {
    std::optional<std::filesystem::path> samples;
    for (std::size_t i = 0; i < ctx.args.size(); ++i) {
        if (ctx.args[i] == "--samples" && i + 1 < ctx.args.size()) {
            samples = ctx.args[++i];
        } else {
            ctx.err << "init: unknown argument " << ctx.args[i] << "\n";
            return kUsage;
        }
    }
    auto path = ctx.dbPath();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        ctx.err << "init: " << path.string() << " already exists; it is left as it is.\n";
        return kFailed;
    }
    std::string sampleSql;
    if (samples) {
        std::ifstream in(*samples, std::ios::binary);
        if (!in) {
            ctx.err << "init: cannot read " << samples->string() << "\n";
            return kFailed;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        sampleSql = gbk(ss.str());  // the sample file is UTF-8; the database holds GBK
    }
    std::filesystem::create_directories(ctx.programDir, ec);
    Database db;
    std::string error;
    bool done = db.create(path) && createSchema(db, &error);
    if (done && !sampleSql.empty()) {
        SqlResult r = db.runScript(sampleSql);
        done = r.ok;
        error = r.error;
    }
    if (!done) {
        if (error.empty()) error = db.lastError();
        db.close();
        std::filesystem::remove(path, ec);  // a half-made file would block the next init
        printLine(ctx.err, "init: " + error);
        return kFailed;
    }
    ctx.out << "Created " << path.string() << "\n";
    return kOk;
}

int commandSql(Context& ctx) {
    if (ctx.args.size() != 1) {
        ctx.err << "sql: give the statement as one argument, e.g. tovidesk-cli sql \"select * from rule\"\n";
        return kUsage;
    }
    auto db = openProgramDatabase(ctx);
    if (!db) return kFailed;
    NullStatusSink quiet;
    LoggedSql logged(*db, quiet);
    SqlResult result;
    std::string text = logged.execScript(gbk(ctx.args[0]), &result);
    if (result.ok && !result.columns.empty()) printTable(ctx.out, result.columns, result.rows);
    printLine(result.ok ? ctx.out : ctx.err, text);
    return result.ok ? kOk : kFailed;
}

int commandSettings(Context& ctx) {
    Settings settings(ctx.iniPath());
    if (ctx.args.size() == 2 && ctx.args[0] == "get") {
        printLine(ctx.out, settings.read(gbk(ctx.args[1])));
        return kOk;
    }
    if (ctx.args.size() == 3 && ctx.args[0] == "set") {
        if (!settings.write(gbk(ctx.args[1]), gbk(ctx.args[2]))) {
            printLine(ctx.err, gbk("保存失败，请重试！"));
            return kFailed;
        }
        return kOk;
    }
    ctx.err << "settings: use 'settings get KEY' or 'settings set KEY VALUE'\n";
    return kUsage;
}

}  // namespace tovi::cli
