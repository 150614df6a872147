#include "core/settings/ProgramDir.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/settings/Settings.h"

namespace tovi {
namespace {

bool writableDir(const std::filesystem::path& dir) {
    std::error_code ec;
    auto perms = std::filesystem::status(dir, ec).permissions();
    using P = std::filesystem::perms;
    return !ec && (perms & (P::owner_write | P::group_write | P::others_write)) != P::none &&
           ::access(dir.c_str(), W_OK) == 0;
}

std::filesystem::path userDataDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME");
        xdg && *xdg && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "tovidesk";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share" / "tovidesk";
}

bool startsWith(const std::filesystem::path& dir, const std::filesystem::path& prefix) {
    auto d = dir.lexically_normal(), p = prefix.lexically_normal();
    return std::mismatch(p.begin(), p.end(), d.begin(), d.end()).first == p.end();
}

bool installedLocation(const std::filesystem::path& exeDir) {
    std::error_code ec;
    return startsWith(exeDir, "/usr") || startsWith(exeDir, "/opt") ||
           std::filesystem::is_regular_file(exeDir.parent_path() / "share" / "tovidesk" / "tovi.sdb", ec);
}

}  // namespace

std::filesystem::path programDataDir(const std::filesystem::path& exeDir) {
    if (writableDir(exeDir) && !installedLocation(exeDir)) return exeDir;
    std::filesystem::path dir = userDataDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

bool seedProgramFiles(const std::filesystem::path& exeDir, const std::filesystem::path& dataDir) {
    if (dataDir == exeDir) return false;  // a portable program directory is never filled in
    std::error_code ec;
    if (std::filesystem::is_directory(dataDir, ec)) writeStarterSettings(dataDir / "tovimo.ini");
    const auto target = dataDir / "tovi.sdb";
    const auto shipped = exeDir.parent_path() / "share" / "tovidesk" / "tovi.sdb";
    if (std::filesystem::exists(target, ec) || !std::filesystem::is_regular_file(shipped, ec)) return false;
    std::filesystem::copy_file(shipped, target, ec);
    if (ec) return false;
    // The user's own copy holds the user's cookies: the owner's only.
    std::filesystem::permissions(target,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ec);
    return true;
}

}  // namespace tovi
