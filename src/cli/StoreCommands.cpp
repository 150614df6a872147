// init, sql, settings: the files themselves.
#include <CLI/CLI.hpp>
#include <fstream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "core/plans/PlanRows.h"
#include "core/plans/PlanTable.h"
#include "core/settings/Settings.h"
#include "core/store/LoggedSql.h"
#include "core/store/Schema.h"
#include "core/text/Gbk.h"

namespace tovi::cli {

Context::Context(std::filesystem::path dir, std::ostream& o, std::ostream& e)
    : programDir(std::move(dir)), out(o), err(e) {}
Context::~Context() = default;

Database* Context::database() {
    if (m_opened) return m_db.get();
    m_opened = true;
    auto path = dbPath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        printLine(err, gbk("启动失败：数据库文件 tovi.sdb 不存在，无法工作！"));
        printLine(err, gbk("  查找位置：") + gbk(path.string()));
        printLine(err, gbk("  新建一个：tovidesk-cli --dir ") + gbk(programDir.string()) + " init");
        return nullptr;
    }
    auto db = std::make_unique<Database>();
    std::vector<std::string> repaired;
    if (Result<> opened = openMainDatabase(*db, path, &repaired); !opened) {
        printLine(err, gbk("数据库打开失败！") + opened.error());
        printLine(err, gbk("  路径：") + gbk(path.string()));
        return nullptr;
    }
    for (const std::string& note : repaired) printLine(err, note);
    m_db = std::move(db);
    return m_db.get();
}

std::optional<std::int64_t> existingPlan(Context& ctx, Database& db, std::int64_t id) {
    if (!PlanTable::isValidId(id)) {
        printLine(ctx.err, gbk("没有方案 ") + std::to_string(id) +
                               gbk("：方案编号为 1 到 200（见 tovidesk-cli plans）"));
        return std::nullopt;
    }
    if (!readPlan(db, id)) {
        printLine(ctx.err, gbk("没有方案 ") + std::to_string(id) + gbk("（见 tovidesk-cli plans）"));
        return std::nullopt;
    }
    return id;
}

namespace {

int init(Context& ctx, const std::string& samples) {
    auto path = ctx.dbPath();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        printLine(ctx.err, gbk(path.string()) + gbk(" 已存在，保持不变。"));
        return kFailed;
    }
    std::string sampleSql;
    if (!samples.empty()) {
        std::ifstream in(samples, std::ios::binary);
        if (!in) {
            printLine(ctx.err, gbk("无法读取 ") + gbk(samples));
            return kFailed;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        sampleSql = gbk(ss.str());  // the sample file is UTF-8; the database holds GBK
    }
    std::filesystem::create_directories(ctx.programDir, ec);
    Database db;
    std::string error;
    bool done = db.create(path);
    if (!done) {
        error = db.lastError();
    } else if (Result<> created = createSchema(db); !created) {
        done = false;
        error = created.error();
    } else if (!sampleSql.empty()) {
        SqlResult r = db.runScript(sampleSql);
        done = r.ok;
        error = r.error;
    }
    if (!done) {
        db.close();
        std::filesystem::remove(path, ec);  // a half-made file would block the next init
        printLine(ctx.err, gbk("建立数据库失败：") + error);
        return kFailed;
    }
    printLine(ctx.out, gbk("已创建 ") + gbk(path.string()));
    // The categories a first plan is filed under, and the cycle length the window shows.
    if (!std::filesystem::exists(ctx.iniPath(), ec)) {
        if (!writeStarterSettings(ctx.iniPath())) {
            printLine(ctx.err, gbk("无法写入 ") + gbk(ctx.iniPath().string()));
            return kFailed;
        }
        printLine(ctx.out, gbk("已创建 ") + gbk(ctx.iniPath().string()));
    }
    return kOk;
}

int sql(Context& ctx, const std::string& statement) {
    Database* db = ctx.database();
    if (!db) return kFailed;
    NullStatusSink quiet;
    LoggedSql logged(*db, quiet);
    SqlResult result;
    std::string text = logged.execScript(gbk(statement), &result);
    if (result.ok && !result.columns.empty()) printTable(ctx.out, result.columns, result.rows);
    // The window's advice to restart means nothing here.
    printLine(result.ok ? ctx.out : ctx.err, result.ok ? text : gbk("SQL出错：") + result.error);
    return result.ok ? kOk : kFailed;
}

}  // namespace

void addStoreCommands(CLI::App& app, Action& chosen) {
    // Option values live as long as the application that fills them.
    struct Options {
        std::string samples, statement, key, value;
    };
    auto o = std::make_shared<Options>();

    auto* initCommand =
        app.add_subcommand("init", "create an empty tovi.sdb in the program directory (never overwrites)");
    initCommand
        ->add_option("--samples", o->samples,
                     "a UTF-8 SQL file to run in the new database (e.g. sample plans)")
        ->check(CLI::ExistingFile);
    initCommand->callback([&chosen, o] { chosen = [o](Context& ctx) { return init(ctx, o->samples); }; });

    auto* sqlCommand =
        app.add_subcommand("sql", "run SQL as the options window's console does; a query's rows are shown");
    sqlCommand->add_option("statement", o->statement, "one or more statements, separated by ;")->required();
    sqlCommand->callback([&chosen, o] { chosen = [o](Context& ctx) { return sql(ctx, o->statement); }; });

    auto* settings = app.add_subcommand("settings", "read or write a key of tovimo.ini (section 配置)");
    settings->require_subcommand(1);
    auto* get = settings->add_subcommand("get", "print a key's value");
    get->add_option("key", o->key, "e.g. 频率, 类别, 并发")->required();
    get->callback([&chosen, o] {
        chosen = [o](Context& ctx) {
            printLine(ctx.out, Settings(ctx.iniPath()).read(gbk(o->key)));
            return kOk;
        };
    });
    auto* set = settings->add_subcommand("set", "write a key's value");
    set->add_option("key", o->key, "e.g. 频率, 类别, 并发")->required();
    set->add_option("value", o->value, "the new value")->required();
    set->callback([&chosen, o] {
        chosen = [o](Context& ctx) {
            Settings settings(ctx.iniPath());
            if (Result<> fits = checkSetting(gbk(o->key), gbk(o->value)); !fits) {
                printLine(ctx.err, fits.error());
                return kUsage;
            }
            if (!settings.write(gbk(o->key), gbk(o->value))) {
                printLine(ctx.err, gbk("保存失败，请重试！"));
                return kFailed;
            }
            return kOk;
        };
    });
}

}  // namespace tovi::cli
