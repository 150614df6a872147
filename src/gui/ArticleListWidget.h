#pragma once
// The article list: seven columns, alternating row colours, a fixed row height.
#include <QTableWidget>

#include "core/articles/ArticleList.h"

namespace tovi::gui {

class ArticleListWidget : public QTableWidget {
    Q_OBJECT
public:
    explicit ArticleListWidget(QWidget* parent = nullptr);

    void setRows(const std::vector<ArticleRow>& rows);
    // Windows colour values (red in the lowest byte) for even and odd rows.
    void applyRowColours(std::uint32_t even, std::uint32_t odd);
    void setRowHeight(int pixels);
    void setTitleWidth(int pixels);

    // The selected row as shown (eight texts of table info), empty when none is selected.
    ArticleRow selectedArticle() const;

    static QColor fromColorRef(std::uint32_t colorRef);

signals:
    // Enter or Space on a row: open it, as a double click does.
    void openRequested();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    // The selected row is drawn only while the list has the focus.
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    std::vector<ArticleRow> m_rows;
    std::uint32_t m_even = 0, m_odd = 0;
};

}  // namespace tovi::gui
