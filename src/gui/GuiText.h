#pragma once
// The GUI edge: GBK texts of the core become QString here and back.
#include <QString>
#include <string>
#include <string_view>

#include "core/text/Gbk.h"

namespace tovi::gui {

inline QString q(std::string_view gbkText) { return QString::fromStdString(gbkToUtf8(gbkText)); }
inline std::string g(const QString& text) { return gbk(text.toStdString()); }

}  // namespace tovi::gui
