#pragma once
// Replacing a file so that it is never half written, whoever else shares its directory.
#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "core/Result.h"

namespace tovi {

// Writes the bytes to a new file created exclusively beside the target (a random name, never
// through a link planted there), syncs it, gives it the target's mode (and owner, where
// allowed) and renames it over the target. A target without write bits is read-only and stays
// as it is. When it fails, the target is untouched. A new target gets newFileMode (files that
// hold cookies and tokens: 0600).
Result<> replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                               mode_t newFileMode = 0644);

}  // namespace tovi
