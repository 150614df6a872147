#pragma once
// A large tovi.sdb for the benchmarks, built once by a script and kept in the temporary
// directory between runs (written under another name and renamed, so an interrupted build is
// never taken for a finished one).
#include <filesystem>
#include <string>

#include "core/store/Database.h"
#include "core/store/Schema.h"

namespace tovi::bench {

inline std::filesystem::path cachedDatabase(const std::string& fileName, const std::string& gbkScript) {
    const auto path = std::filesystem::temp_directory_path() / fileName;
    if (!std::filesystem::exists(path)) {
        auto tmp = path;
        tmp += ".part";
        std::filesystem::remove(tmp);
        Database build;
        build.create(tmp);
        (void)createSchema(build);
        build.runScript(gbkScript);
        build.close();
        std::filesystem::rename(tmp, path);
    }
    return path;
}

// An empty tovi.sdb with the program's tables in a directory emptied first (a benchmark round
// starts from nothing).
inline void freshDatabase(Database& db, const std::filesystem::path& dir) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    db.create(dir / "tovi.sdb");
    (void)createSchema(db);
}

}  // namespace tovi::bench
