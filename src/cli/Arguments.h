#pragma once
// Arguments as the terminal typed them: in the locale's charset (a GBK terminal, an SSH client
// sending GBK), turned into UTF-8 before the command line reads them. Bytes that are no text in
// that charset are refused, never stored as '?'.
#include <string>
#include <vector>

#include "core/Result.h"

namespace tovi::cli {

// The charset of the user's locale (nl_langinfo(CODESET)); when the locale is not installed,
// the codeset LC_ALL, LC_CTYPE or LANG names ("zh_CN.GBK" → "GBK"); "UTF-8" when none is said.
std::string localeCharset();

// Every argument in UTF-8; the error names the argument that does not read in the charset.
Result<std::vector<std::string>> argumentsAsUtf8(int argc, char** argv, const std::string& charset);

}  // namespace tovi::cli
