#include "gui/MainLayout.h"

namespace tovi::gui {

MainLayout MainLayout::forSize(int W, int H) {
    MainLayout l;
    l.titleBar = QRect(0, 0, W, 50);
    l.closeButton = QRect(W - 40, 8, 36, 36);
    l.minimise = QRect(W - 76, 8, 36, 36);
    l.settings = QRect(W - 112, 8, 36, 36);
    l.grip = QRect(W - 8, H - 8, 7, 7);
    l.planTree = QRect(4, 73, 220, H - 120);
    l.leftPanel = QRect(3, H - 43, 220, 40);
    l.rightPanel = QRect(220, 50, W - 222, H - 75);
    l.articleList = QRect(0, 0, W - 222, H - 75);
    l.homePage = QRect(221, 50, W - 220, H - 50);
    l.statusBox = QRect(226, H - 30, W - 230, 24);
    l.titleColumnWidth = W - 515;
    return l;
}

}  // namespace tovi::gui
