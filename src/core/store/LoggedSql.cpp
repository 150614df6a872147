#include "core/store/LoggedSql.h"

#include "core/text/Gbk.h"

namespace tovi {

std::string LoggedSql::resultText(const SqlResult& result) {
    static const std::string ok = gbk("SQL成功！");
    static const std::string errorHead = gbk("SQL出错：");
    static const std::string errorTail = gbk("，请重启软件！");
    return result.ok ? ok : errorHead + result.error + errorTail;
}

std::string LoggedSql::echo(std::string_view statementText, const SqlResult& result) {
    std::string text = resultText(result);
    m_sink.append("\r\n" + std::string(statementText) + text);
    return text;
}

std::string LoggedSql::exec(const Statement& statement, SqlResult* outResult) {
    SqlResult result = m_db.run(statement);
    std::string text = echo(statement.display(), result);
    if (outResult) *outResult = std::move(result);
    return text;
}

std::string LoggedSql::execScript(std::string_view sql, SqlResult* outResult) {
    SqlResult result = m_db.runScript(sql);
    std::string text = echo(sql, result);
    if (outResult) *outResult = std::move(result);
    return text;
}

}  // namespace tovi
