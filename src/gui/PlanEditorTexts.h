#pragma once
// The texts of the plan editor: the expression examples, the help, the hint each control shows
// in 测试提示 when it gets the focus, and the list of proposals shown in 测试编辑框.
#include <QString>
#include <optional>
#include <vector>

#include "core/suggest/PlanSuggest.h"

namespace tovi::gui {

extern const char* const kRegexItems[4];
extern const char* const kTestHelp;

struct EditorHint {
    const char* control;  // object name
    const char* text;
};
extern const EditorHint kEditorHints[10];

QString hintHtml(const QString& text);

// One heading, then each proposal on two lines (where it is and how many; its first titles);
// the chosen one is marked.
QString suggestionListText(const std::vector<PlanSuggestion>& suggestions, std::size_t chosen,
                           const std::string& note = {});
// The proposal a line of that text belongs to.
std::optional<std::size_t> suggestionAtLine(int line, std::size_t count);

}  // namespace tovi::gui
