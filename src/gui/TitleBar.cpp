#include "gui/TitleBar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include "gui/Artwork.h"
#include "gui/MainLayout.h"

namespace tovi::gui {

const QString& SearchBox::hint() {
    static const QString text = QStringLiteral("输入关键词，回车搜索");
    return text;
}

SearchBox::SearchBox(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("搜索框"));
    // A hint, never text: nothing typed joins it, and Enter never searches for it.
    setPlaceholderText(hint());
}

void SearchBox::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    emit focused();
}

void SearchBox::mouseDoubleClickEvent(QMouseEvent*) { clear(); }

TitleBar::TitleBar(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("标题栏"));
    setAttribute(Qt::WA_StyledBackground);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("标题栏_图标"));
    icon->setPixmap(artwork::appIcon().pixmap(32, 32));
    icon->setGeometry(MainLayout::kTitleIcon);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_name = new QLabel(QStringLiteral("Tovidesk"), this);
    m_name->setObjectName(QStringLiteral("软件名标签"));
    m_name->setGeometry(MainLayout::kNameLabel);
    m_name->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* frame = new QLabel(this);
    frame->setObjectName(QStringLiteral("图片框1"));
    frame->setGeometry(MainLayout::kSearchFrame);
    m_search = new SearchBox(this);
    m_search->setGeometry(MainLayout::kSearchBox);
    connect(m_search, &QLineEdit::returnPressed, this, [this] { emit searchRequested(m_search->text()); });
    connect(m_search, &SearchBox::focused, this, &TitleBar::searchFocused);

    auto button = [window](const char* name, const QIcon& icon, const QString& tip) {
        auto* b = new QToolButton(window);
        b->setObjectName(QString::fromUtf8(name));
        b->setProperty("chrome", true);
        b->setIcon(icon);
        b->setIconSize(QSize(36, 36));
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::TabFocus);  // reached by Tab, never taken by a click
        return b;
    };
    m_minimise = button("最小化", artwork::minimiseIcon(), QStringLiteral("最小化"));
    m_close = button("关闭按钮", artwork::closeIcon(), QStringLiteral("关闭"));
    m_close->setParent(this);
    m_settings = button("设置", artwork::settingsIcon(), QStringLiteral("设置"));
    connect(m_minimise, &QToolButton::clicked, this, &TitleBar::minimiseRequested);
    connect(m_close, &QToolButton::clicked, this, &TitleBar::closeRequested);
    connect(m_settings, &QToolButton::clicked, this, &TitleBar::menuRequested);
}

void TitleBar::setProductName(const QString& name) { m_name->setText(name); }

void TitleBar::applyLayout(const MainLayout& layout) {
    setGeometry(layout.titleBar);
    m_close->setGeometry(layout.closeButton);
    m_minimise->setGeometry(layout.minimise);
    m_settings->setGeometry(layout.settings);
    m_minimise->raise();
    m_settings->raise();
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit maximiseToggled();
}

}  // namespace tovi::gui
