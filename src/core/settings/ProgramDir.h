#pragma once
// Where tovi.sdb and tovimo.ini live: beside the program, as always, when that directory can be
// written; otherwise (installed under /usr) in $XDG_DATA_HOME/tovidesk (~/.local/share/tovidesk).
#include <filesystem>

namespace tovi {

// The data directory for a program in exeDir; created when it is the per-user one.
std::filesystem::path programDataDir(const std::filesystem::path& exeDir);

// An installed program ships a starter tovi.sdb (with sample plans) in share/tovidesk beside its
// bin directory: copied into the per-user directory when that has none yet. True when a copy
// was made.
bool seedDatabase(const std::filesystem::path& exeDir, const std::filesystem::path& dataDir);

}  // namespace tovi
