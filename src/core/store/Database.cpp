#include "core/store/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <thread>

#include "core/store/GbkLike.h"
#include "core/text/Gbk.h"

namespace tovi {

// Holds the busy lock; a waiting thread runs the wait hook between tries. With a cancel
// check the wait can end without the lock (held() is then false) and the check also ends a
// busy wait on another connection's write while the lock is held.
class Database::Guard {
public:
    explicit Guard(Database& db, const std::function<bool()>& cancel = {})
        : m_db(db), m_held(db.lock(cancel)) {
        if (m_held) m_db.m_cancel = cancel;
    }
    ~Guard() {
        if (!m_held) return;
        m_db.m_cancel = nullptr;
        m_db.m_busy.unlock();
    }
    bool held() const { return m_held; }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    Database& m_db;
    bool m_held;
};

int busyWait(void* self, int attempt) {
    auto* db = static_cast<Database*>(self);
    auto now = std::chrono::steady_clock::now();
    if (attempt == 0) db->m_busySince = now;
    if (db->m_cancel && db->m_cancel()) return 0;
    if (now - db->m_busySince >= db->m_busyTimeout) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 5 ? 5 : 25));
    return 1;
}

const std::string& cellOf(const std::vector<std::string>& row, int k) {
    static const std::string empty;
    return k >= 0 && k < static_cast<int>(row.size()) ? row[k] : empty;
}

Database::~Database() { close(); }

bool Database::lock(const std::function<bool()>& cancel) {
    if (!cancel) {
        m_busy.lock();
        return true;
    }
    while (!m_busy.try_lock_for(std::chrono::milliseconds(50)))
        if (cancel()) return false;
    return true;
}

std::string Database::shortenError(std::string_view message) {
    if (message.size() <= kMaxErrorBytes) return std::string(message);
    std::size_t cut = 0;
    while (cut < message.size()) {
        std::size_t len = gbkCharLength(message, cut);
        if (cut + len > kMaxErrorBytes) break;
        cut += len;
    }
    return std::string(message.substr(0, cut));
}

SqlResult Database::failure(std::string_view message) {
    SqlResult r;
    r.ok = false;
    r.error = shortenError(message);
    std::lock_guard g(m_errorMutex);
    m_lastError = r.error;
    return r;
}

SqlResult Database::failureFromEngine() {
    return failure(m_db ? sqlite3_errmsg(m_db) : "database is not open");
}

bool Database::openWithFlags(const std::filesystem::path& path, int flags) {
    Guard g(*this);
    clearPrepared();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path = path;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        {
            std::lock_guard eg(m_errorMutex);
            m_lastError = shortenError(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        }
        if (db) sqlite3_close_v2(db);
        return false;
    }
    // A write on the other connection makes us wait instead of failing.
    sqlite3_busy_handler(db, busyWait, this);
    // No statement of ours or the user's may write the file's structure behind the engine's back.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    registerGbkLike(db);
    m_db = db;
    std::lock_guard eg(m_errorMutex);
    m_lastError.clear();
    return true;
}

bool Database::open(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        close();
        std::lock_guard eg(m_errorMutex);
        m_lastError = "unable to open database file";
        return false;
    }
    // Missing write bits on the file, or on the directory its journal goes to, stand for the
    // read-only attribute: the file is opened read-only, also for root (who could write anyway).
    auto writable = [](const std::filesystem::path& p) {
        std::error_code e;
        auto perms = std::filesystem::status(p, e).permissions();
        using P = std::filesystem::perms;
        return !e && (perms & (P::owner_write | P::group_write | P::others_write)) != P::none;
    };
    std::filesystem::path dir = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    return openWithFlags(path,
                         writable(path) && writable(dir) ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
}

bool Database::create(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return false;
    // Made readable by its owner only before anything is in it: it holds the plans' cookies
    // (and its journal takes the same mode).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return openWithFlags(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void Database::setBusyTimeout(std::chrono::milliseconds timeout) {
    Guard g(*this);
    m_busyTimeout = timeout;
}

void Database::close() {
    Guard g(*this);
    clearPrepared();
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool Database::isOpen() const { return m_db != nullptr; }

std::string Database::lastError() const {
    std::lock_guard g(m_errorMutex);
    return m_lastError;
}

namespace {

bool bindValues(sqlite3_stmt* st, const std::vector<SqlValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        int index = static_cast<int>(i) + 1;
        int rc;
        if (const auto* n = std::get_if<std::int64_t>(&values[i]))
            rc = sqlite3_bind_int64(st, index, *n);
        else if (const auto* s = std::get_if<std::string>(&values[i]))
            // Texts go in as the GBK bytes they are, with the TEXT storage class.
            rc = sqlite3_bind_text(st, index, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
        else
            rc = sqlite3_bind_null(st, index);
        if (rc != SQLITE_OK) return false;
    }
    return true;
}

// Steps through a prepared statement, reading every row in one pass.
int stepAll(sqlite3_stmt* st, SqlResult& out) {
    int columns = sqlite3_column_count(st);
    out.columns.clear();
    out.rows.clear();
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(st, c);
        out.columns.emplace_back(name ? name : "");
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<std::string> row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            const unsigned char* text = sqlite3_column_text(st, c);
            int bytes = sqlite3_column_bytes(st, c);
            row.emplace_back(text ? std::string(reinterpret_cast<const char*>(text), bytes) : std::string());
        }
        out.rows.push_back(std::move(row));
    }
    return rc;
}

}  // namespace

sqlite3_stmt* Database::prepared(const std::string& sql) {
    auto it = m_prepared.find(sql);
    if (it != m_prepared.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st,
                           &tail) != SQLITE_OK ||
        !st)
        return nullptr;
    if (tail && *tail) {  // more than one statement: not for this path
        sqlite3_finalize(st);
        return nullptr;
    }
    if (m_prepared.size() >= 32) clearPrepared();
    m_prepared.emplace(sql, st);
    return st;
}

void Database::clearPrepared() {
    for (auto& [sql, st] : m_prepared) sqlite3_finalize(st);
    m_prepared.clear();
}

SqlResult Database::runLocked(const Statement& statement) {
    if (!m_db) return failure("database is not open");
    if (statement.sql.empty()) return failure(lastError());
    sqlite3_stmt* st = prepared(statement.sql);
    if (!st) {
        // Report the engine's own words for why it could not be prepared.
        sqlite3_stmt* probe = nullptr;
        if (sqlite3_prepare_v2(m_db, statement.sql.c_str(), -1, &probe, nullptr) != SQLITE_OK)
            return failureFromEngine();
        sqlite3_finalize(probe);
        return failure(probe ? "more than one statement" : "not an SQL statement");
    }
    SqlResult result;
    bool bound = bindValues(st, statement.values);
    int rc = bound ? stepAll(st, result) : SQLITE_ERROR;
    SqlResult err;
    if (rc != SQLITE_DONE) err = failureFromEngine();
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE) return err;
    result.ok = true;
    std::lock_guard eg(m_errorMutex);
    m_lastError.clear();
    return result;
}

SqlResult Database::run(const Statement& statement) {
    Guard g(*this);
    return runLocked(statement);
}

SqlResult Database::runScript(std::string_view sql) {
    Guard g(*this);
    return runScriptLocked(sql);
}

SqlResult Database::runScriptLocked(std::string_view sql) {
    if (!m_db) return failure("database is not open");
    if (sql.empty()) return failure(lastError());
    SqlResult last;
    last.ok = true;
    const char* pos = sql.data();
    const char* end = sql.data() + sql.size();
    while (pos < end) {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(m_db, pos, static_cast<int>(end - pos), &st, &tail) != SQLITE_OK)
            return failureFromEngine();
        pos = tail;
        if (!st) continue;  // white space or a comment: an empty statement, as SQLite has it
        SqlResult step;
        int rc = stepAll(st, step);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) return failureFromEngine();
        if (!step.columns.empty()) last = std::move(step);
    }
    last.ok = true;
    std::lock_guard eg(m_errorMutex);
    m_lastError.clear();
    return last;
}

SqlResult Transaction::run(const Statement& statement) { return m_db.runLocked(statement); }

SqlResult Database::runWithoutWaiting(const Statement& statement) {
    // A cancel check that is always true: the lock is tried briefly, the engine's busy wait ends
    // at once.
    Guard g(*this, [] { return true; });
    if (!g.held()) return failure("database is busy");
    return runLocked(statement);
}

namespace {

struct InsertsOnly {
    std::string table, schema;
};

int allowInsertsOnly(void* data, int action, const char* arg1, const char*, const char* schema, const char*) {
    const auto* only = static_cast<const InsertsOnly*>(data);
    const bool allowed =
        action == SQLITE_INSERT && arg1 && schema && only->table == arg1 && only->schema == schema;
    return allowed ? SQLITE_OK : SQLITE_DENY;
}

}  // namespace

SqlResult Transaction::runInsertsOnly(std::string_view sql, const std::string& table,
                                      const std::string& schema) {
    InsertsOnly only{table, schema};
    sqlite3_set_authorizer(m_db.m_db, allowInsertsOnly, &only);
    // However the script ends, later statements on this connection are not confined.
    struct Release {
        sqlite3* db;
        ~Release() { sqlite3_set_authorizer(db, nullptr, nullptr); }
    } release{m_db.m_db};
    return m_db.runScriptLocked(sql);
}

Result<> Database::writeTransaction(const std::function<bool(Transaction&)>& work,
                                    const std::function<bool()>& cancel) {
    Guard g(*this, cancel);
    if (!g.held()) return Error{failure("stopped while waiting for the database").error};
    if (!m_db) return Error{failure("database is not open").error};
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Error{failureFromEngine().error};
    // Whatever way work ends (false, a failed commit, an exception), the transaction is rolled
    // back before the lock is given up, so the connection never keeps a write lock.
    struct RollBackUnlessCommitted {
        sqlite3* db;
        bool committed = false;
        // The engine may have rolled back already (a full disk does): then this just fails.
        ~RollBackUnlessCommitted() {
            if (!committed) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    } scope{m_db};
    Transaction t(*this);
    if (!work(t)) return Error{lastError()};
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Error{failureFromEngine().error};
    scope.committed = true;
    return {};
}

std::vector<SqlResult> Database::runTransaction(const std::vector<Statement>& statements,
                                                const std::function<bool()>& cancel) {
    Guard g(*this, cancel);
    std::vector<SqlResult> results;
    if (!g.held()) {
        results.assign(statements.size(), failure("stopped while waiting for the database"));
        return results;
    }
    if (!m_db) {
        for (std::size_t i = 0; i < statements.size(); ++i)
            results.push_back(failure("database is not open"));
        return results;
    }
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        SqlResult err = failureFromEngine();
        results.assign(statements.size(), err);
        return results;
    }
    for (const Statement& s : statements) results.push_back(runLocked(s));
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        SqlResult err = failureFromEngine();
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        results.assign(statements.size(), err);
    }
    return results;
}

}  // namespace tovi
