#include "gui/ArticleListWidget.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/text/Entities.h"
#include "gui/GuiText.h"

namespace tovi::gui {
namespace {

struct Column {
    const char* caption;
    int width;
    Qt::Alignment align;
    int field;  // position in table info
};
// Captions, widths and alignments of the list; ID, 链接 and 状态 are there but hidden.
const Column kColumns[] = {
    {"ID", 2, Qt::AlignLeft, kInfoId},
    {"站点", 100, Qt::AlignCenter, kInfoPlanname},
    {"帖子标题", 250, Qt::AlignLeft, kInfoTitle},
    {"链接", 0, Qt::AlignLeft, kInfoUrl},
    {"更新时间", 80, Qt::AlignCenter, kInfoAddtime},
    {"状态", 0, Qt::AlignLeft, kInfoIssoucang},
    {"备用", 94, Qt::AlignLeft, kInfoOther},
};

// Paints a selected row as an ordinary one while the list lacks the focus.
class FocusSelectionDelegate : public QStyledItemDelegate {
public:
    explicit FocusSelectionDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), m_view(view) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!m_view->hasFocus()) option->state &= ~QStyle::State_Selected;
    }

private:
    QAbstractItemView* m_view;
};

}  // namespace

ArticleListWidget::ArticleListWidget(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("文章列表框"));
    setItemDelegate(new FocusSelectionDelegate(this));
    setColumnCount(7);
    QStringList captions;
    for (const Column& c : kColumns) captions << QString::fromUtf8(c.caption);
    setHorizontalHeaderLabels(captions);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    for (int i = 0; i < 7; ++i) {
        setColumnWidth(i, kColumns[i].width);
        horizontalHeaderItem(i)->setTextAlignment(kColumns[i].align | Qt::AlignVCenter);
    }
    // 备用 keeps its 94 pixels; the title column takes what the window gives.
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The area below the last row; cells get the row colours.
    setStyleSheet(
        QStringLiteral("QTableWidget { background: rgb(234,234,234); color: black;"
                       " selection-background-color: #2D7DD2; selection-color: white; }"
                       "QTableWidget:focus { border: 2px solid #F5A623; }"
                       "QHeaderView::section { background: #F3F6FA; border: none;"
                       " border-bottom: 1px solid #D5DCE4; padding: 4px; }"));
}

QColor ArticleListWidget::fromColorRef(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void ArticleListWidget::setRows(const std::vector<ArticleRow>& rows) {
    m_rows = rows;
    setUpdatesEnabled(false);
    clearContents();
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < 7; ++c) {
            int field = kColumns[c].field;
            const std::string& text = cellOf(rows[r], field);
            auto* item = new QTableWidgetItem(q(field == kInfoTitle ? decodeEntities(text) : text));
            item->setTextAlignment(kColumns[c].align | Qt::AlignVCenter);
            if (c == 2) item->setToolTip(item->text());
            setItem(r, c, item);
        }
    }
    applyRowColours(m_even, m_odd);
    setUpdatesEnabled(true);
}

void ArticleListWidget::applyRowColours(std::uint32_t even, std::uint32_t odd) {
    m_even = even;
    m_odd = odd;
    const QBrush evenBrush(fromColorRef(even)), oddBrush(fromColorRef(odd));
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (QTableWidgetItem* it = item(r, c)) it->setBackground(r % 2 == 0 ? evenBrush : oddBrush);
}

void ArticleListWidget::setRowHeight(int pixels) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(pixels);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void ArticleListWidget::focusInEvent(QFocusEvent* e) {
    QTableWidget::focusInEvent(e);
    viewport()->update();
}

void ArticleListWidget::focusOutEvent(QFocusEvent* e) {
    QTableWidget::focusOutEvent(e);
    viewport()->update();
}

void ArticleListWidget::setTitleWidth(int pixels) { setColumnWidth(2, qMax(0, pixels)); }

ArticleRow ArticleListWidget::selectedArticle() const {
    const auto selected = selectionModel()->selectedRows();
    if (selected.isEmpty()) return {};
    int r = selected.first().row();
    return r >= 0 && r < static_cast<int>(m_rows.size()) ? m_rows[r] : ArticleRow{};
}

void ArticleListWidget::keyPressEvent(QKeyEvent* e) {
    const bool opens = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space;
    if (opens && e->modifiers() == Qt::NoModifier && !selectedArticle().empty()) {
        e->accept();
        emit openRequested();
        return;
    }
    QTableWidget::keyPressEvent(e);
}

}  // namespace tovi::gui
