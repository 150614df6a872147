#pragma once
// Runs statements on the main connection and echoes each with its result into the status
// log, so the user can follow what monitoring, favourites and the console write.
#include <string>
#include <string_view>

#include "core/store/Database.h"
#include "core/store/StatusSink.h"

namespace tovi {

class LoggedSql {
public:
    LoggedSql(Database& db, StatusSink& sink) : m_db(db), m_sink(sink) {}

    // "SQL成功！" or "SQL出错：" + message + "，请重启软件！".
    static std::string resultText(const SqlResult& result);

    // Runs one statement with bound values, echoes it, returns the result text.
    std::string exec(const Statement& statement, SqlResult* outResult = nullptr);
    // The console's path: a text of one or more statements, run as typed.
    std::string execScript(std::string_view sql, SqlResult* outResult = nullptr);
    // Echoes a statement already run (e.g. inside a transaction) with its result.
    std::string echo(std::string_view statementText, const SqlResult& result);

    Database& database() { return m_db; }
    StatusSink& sink() { return m_sink; }

private:
    Database& m_db;
    StatusSink& m_sink;
};

}  // namespace tovi
