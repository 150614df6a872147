#pragma once
// The terminal edge: GBK texts of the core become UTF-8 here, and arguments typed as UTF-8
// become GBK before they reach the core. Nothing a page says can drive the terminal: control
// characters are written out as escapes.
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/StatusSink.h"

namespace tovi::cli {

// UTF-8 with control characters (C0 but tab and line feed, ESC, DEL, C1) written as \xNN or
// \uNNNN; the bytes stored stay as they are.
std::string terminalSafe(std::string_view utf8);

void print(std::ostream& out, std::string_view gbkText);
void printLine(std::ostream& out, std::string_view gbkText);

// A JSON document, one value a line, that a terminal may show and a JSON reader may read: what
// the library leaves as it is but a terminal would act on (DEL, C1 controls, inside strings
// only) is written as a \u escape.
void printJson(std::ostream& out, const nlohmann::json& document);

// For --format json: {"error": text} on the output, so a script reading JSON reads why; the
// code is returned for the caller to exit with.
int printJsonError(std::ostream& out, std::string_view gbkText, int code);

// Rows of GBK cells as an aligned table (CJK characters count two columns).
void printTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows);
// The same as tab-separated lines (tabs and line breaks inside a cell become spaces).
void printTsv(std::ostream& out, const std::vector<std::string>& header,
              const std::vector<std::vector<std::string>>& rows);

// Status text printed live; "\r\n" line starts become plain new lines.
class TerminalStatusSink final : public StatusSink {
public:
    explicit TerminalStatusSink(std::ostream& out) : m_out(out) {}
    void append(std::string_view text) override;
    void replaceAll(std::string_view text) override;
    void clear() override {}

private:
    std::ostream& m_out;
};

}  // namespace tovi::cli
