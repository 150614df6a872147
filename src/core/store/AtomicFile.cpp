#include "core/store/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tovi {

Result<> replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                               mode_t newFileMode) {
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Error{"read-only: " + target.string()};
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
    std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemp creates the file with O_EXCL: a link or a file already there under the name fails.
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return Error{"cannot create a file in " + dir.string() + ": " + std::strerror(errno)};
    const std::string tmp(name.data());
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    std::string why = ok ? std::string() : std::string("cannot write: ") + std::strerror(errno);
    if (ok) {
        ok = ::fchmod(fd, existed ? (old.st_mode & 07777) : newFileMode) == 0;
        // Best effort: only root may hand the new file to the old owner.
        if (existed) (void)!::fchown(fd, old.st_uid, old.st_gid);
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        why = std::string("cannot sync: ") + std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = std::string("cannot close: ") + std::strerror(errno);
    }
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        ok = false;
        why = "cannot replace " + target.string() + ": " + std::strerror(errno);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return Error{why.empty() ? "cannot write " + target.string() : why};
    }
    return {};
}

}  // namespace tovi
