#include "gui/HomePage.h"

#include <QToolButton>

#include "gui/Artwork.h"
#include "gui/MainLayout.h"

namespace tovi::gui {
namespace {

QString homePageHtml() {
    return QStringLiteral(
        "<html><body style='font-family: sans-serif; color:#33414E; margin:24px;'>"
        "<h2 style='color:#2D7DD2;'>Tovidesk 迷你首页</h2>"
        "<p>Tovidesk 替你盯着论坛版块和新闻栏目，一有新文章就提醒你。</p>"
        "<ol>"
        "<li>在左边的方案树里勾选要监控的方案；</li>"
        "<li>在下方填好监控频率（秒，不低于 10），点 <b>监控勾选</b>；</li>"
        "<li>有新文章时会响提示音、托盘图标变色；点托盘图标或 <b>重载文章列表</b> 查看；</li>"
        "<li>右键文章可收藏、翻页，双击在浏览器中打开。</li>"
        "</ol>"
        "<p>方案的新建、测试和管理在 <b>设置 → 选项设置</b> 里。</p>"
        "<p style='color:#8A96A3;'>点左上角的小房子按钮可以关闭或重新打开这一页。</p>"
        "</body></html>");
}

}  // namespace

HomePage::HomePage(QWidget* window) : QTextBrowser(window) {
    setObjectName(QStringLiteral("网页框"));
    setOpenExternalLinks(true);
    setHtml(homePageHtml());
    m_toggle = new QToolButton(window);
    m_toggle->setObjectName(QStringLiteral("迷你首页"));
    m_toggle->setCheckable(true);
    m_toggle->setChecked(true);
    m_toggle->setIcon(artwork::homeIcon());
    m_toggle->setIconSize(QSize(20, 20));
    m_toggle->setToolTip(QStringLiteral("迷你首页"));
    m_toggle->setGeometry(MainLayout::kHomeToggle);
    connect(m_toggle, &QToolButton::toggled, this, &HomePage::toggled);
}

void HomePage::applyLayout(const QRect& area) {
    setGeometry(area);
    if (isVisible()) raise();
}

bool HomePage::covering() const { return m_toggle->isChecked(); }

void HomePage::closePage() {
    m_toggle->setChecked(false);
    hide();
    emit coveringChanged(false);
}

void HomePage::toggled(bool shown) {
    if (shown) {
        setHtml(homePageHtml());
        show();
        raise();
    } else {
        hide();
    }
    emit coveringChanged(shown);
}

}  // namespace tovi::gui
