#pragma once
// One SQLite connection to tovi.sdb. Every call holds the connection's lock (the database
// busy lock) for the whole statement and its row fetch, so threads never interleave on it.
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Result.h"
#include "core/store/Statement.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tovi {

struct SqlResult {
    bool ok = false;
    std::string error;  // the engine's message, at most 199 bytes, cut at a character boundary
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // every cell as text, NULL as empty text
};

// A statement's result as a call's result: fine, or the engine's message.
inline Result<> resultOf(const SqlResult& r) {
    if (!r.ok) return Error{r.error};
    return {};
}

// Cell k of a fetched row, or empty text for a row that has fewer cells (a file with fewer
// columns, or no row at all).
const std::string& cellOf(const std::vector<std::string>& row, int k);

class Database;

// The statements of one write transaction (see Database::writeTransaction).
class Transaction {
public:
    SqlResult run(const Statement& statement);
    // A text that may only insert rows into one table of one schema ("main", "temp"): the
    // engine refuses any other statement, function or table before it runs. For text from a
    // shared file.
    SqlResult runInsertsOnly(std::string_view sql, const std::string& table, const std::string& schema);

private:
    friend class Database;
    explicit Transaction(Database& db) : m_db(db) {}
    Database& m_db;
};

class Database {
public:
    static constexpr std::size_t kMaxErrorBytes = 199;
    static constexpr int kBusyTimeoutMs = 5000;

    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file for reading and writing (read-only when the file or its directory
    // has no write bits); never creates one. Closes first.
    bool open(const std::filesystem::path& path);
    // Creates a new, empty database file (for `init` only); fails when the file exists.
    bool create(const std::filesystem::path& path);
    void close();
    bool isOpen() const;
    const std::filesystem::path& path() const { return m_path; }

    // One statement with bound values; a query's rows are returned.
    SqlResult run(const Statement& statement);
    // The same, but failing at once instead of waiting when another thread or program holds
    // the database: for what a run may just as well do without (a hint, not the articles).
    SqlResult runWithoutWaiting(const Statement& statement);
    // A text of one or more statements separated by ";", run in turn; stops at the first
    // failure (earlier ones stay applied). The rows of the last query are returned.
    SqlResult runScript(std::string_view sql);
    // Statements that must land together: all inside one transaction under one lock hold.
    // A statement that fails is reported in its own result and the others still commit;
    // when the commit itself fails, nothing is written and every result says so. A stop
    // request (cancel) ends a wait for the lock or for another connection's write early.
    std::vector<SqlResult> runTransaction(const std::vector<Statement>& statements,
                                          const std::function<bool()>& cancel = {});

    // Runs work inside one write transaction begun with BEGIN IMMEDIATE, under one lock hold:
    // writers in other processes are serialised by the engine, so work's reads see every write
    // that committed before it. Commits when work returns true; when it returns false (or the
    // transaction cannot begin, or the commit fails) everything is rolled back and the result
    // says why (the engine's message).
    Result<> writeTransaction(const std::function<bool(Transaction&)>& work,
                              const std::function<bool()>& cancel = {});

    // How long a statement waits for the other connection's write before it fails.
    void setBusyTimeout(std::chrono::milliseconds timeout);

    // The message of the most recent failed call (empty after a success).
    std::string lastError() const;

    static std::string shortenError(std::string_view message);

private:
    friend class Transaction;
    class Guard;
    friend int busyWait(void* self, int attempt);
    bool lock(const std::function<bool()>& cancel = {});
    SqlResult runLocked(const Statement& statement);
    SqlResult runScriptLocked(std::string_view sql);
    SqlResult failure(std::string_view message);
    SqlResult failureFromEngine();
    bool openWithFlags(const std::filesystem::path& path, int flags);

    // Prepared statements by text: a run stores its articles with one insert text, so each
    // is compiled once per connection instead of once per article.
    sqlite3_stmt* prepared(const std::string& sql);
    void clearPrepared();

    sqlite3* m_db = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> m_prepared;
    std::filesystem::path m_path;
    std::timed_mutex m_busy;
    mutable std::mutex m_errorMutex;
    std::string m_lastError;
    // The busy wait on another connection's write: bounded by the timeout, ended early by the
    // cancel check of the call that holds the lock.
    std::chrono::milliseconds m_busyTimeout{kBusyTimeoutMs};
    std::chrono::steady_clock::time_point m_busySince;
    std::function<bool()> m_cancel;
};

}  // namespace tovi
