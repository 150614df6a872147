#include "gui/Links.h"

#include <QDesktopServices>
#include <QUrl>

#include "core/articles/ArticleActions.h"
#include "gui/GuiText.h"
#include "gui/StatusBox.h"

namespace tovi::gui {

void openLink(const std::string& gbkUrl, StatusBox& status) {
    if (!isOpenableLink(gbkUrl)) {
        status.appendGbk(refusedLinkLine(gbkUrl));
        return;
    }
    QDesktopServices::openUrl(QUrl(q(gbkUrl)));
}

}  // namespace tovi::gui
