#pragma once
// Hands a web link to the desktop's browser; anything else (a local path, a program, empty
// text) is refused with a status line.
#include <string>

namespace tovi::gui {

class StatusBox;

void openLink(const std::string& gbkUrl, StatusBox& status);

}  // namespace tovi::gui
