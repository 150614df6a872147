#include "gui/MainLayout.h"

#include <algorithm>

namespace tovi::gui {

int MainLayout::clampPane(int pane, int W) {
    return std::max(kDefaultPane, std::min(pane, W - kMinListWidth));
}

MainLayout MainLayout::forSize(int W, int H, int pane) {
    const int p = clampPane(pane, W);
    MainLayout l;
    l.titleBar = QRect(0, 0, W, 50);
    l.closeButton = QRect(W - 40, 8, 36, 36);
    l.minimise = QRect(W - 76, 8, 36, 36);
    l.settings = QRect(W - 112, 8, 36, 36);
    l.grip = QRect(W - 8, H - 8, 7, 7);
    l.planTree = QRect(4, 73, p, H - 120);
    l.leftPanel = QRect(3, H - 43, kDefaultPane, 40);
    l.rightPanel = QRect(p, 50, W - p - 2, H - 75);
    l.articleList = QRect(0, 0, W - p - 2, H - 75);
    l.homePage = QRect(p + 1, 50, W - p, H - 50);
    l.statusBox = QRect(p + 6, H - 30, W - p - 10, 24);
    l.splitter = QRect(p + 1, 78, 3, H - 130);
    l.titleColumnWidth = W - p - 295;
    return l;
}

}  // namespace tovi::gui
