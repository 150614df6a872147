#pragma once
// Where tovi.sdb and tovimo.ini live: beside a portable program whose directory can be written;
// for an installed program (under /usr or /opt, or with its share/tovidesk beside its bin) or
// one in a read-only directory, in $XDG_DATA_HOME/tovidesk (~/.local/share/tovidesk), for every
// user, root included.
#include <filesystem>

namespace tovi {

// The data directory for a program in exeDir; created when it is the per-user one.
std::filesystem::path programDataDir(const std::filesystem::path& exeDir);

// An installed program ships a starter tovi.sdb (with sample plans) in share/tovidesk beside its
// bin directory: copied into the per-user directory when that has none yet, with a starter
// tovimo.ini beside it. True when the database was copied.
bool seedProgramFiles(const std::filesystem::path& exeDir, const std::filesystem::path& dataDir);

}  // namespace tovi
