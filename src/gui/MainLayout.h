#pragma once
// The main window's geometry from its design numbers: every control's place for a window of
// W × H pixels. The one place where positions are computed; widgets never place themselves.
#include <QRect>

namespace tovi::gui {

struct MainLayout {
    // Controls that follow the window size (window coordinates unless noted).
    QRect titleBar;        // 标题栏
    QRect closeButton;     // 关闭按钮 (in the title bar, which starts at 0, 0)
    QRect minimise;        // 最小化
    QRect settings;        // 设置
    QRect grip;            // 拖动图
    QRect planTree;        // 栏目框
    QRect leftPanel;       // 左一框
    QRect rightPanel;      // 右一框
    QRect articleList;     // 文章列表框, inside 右一框
    QRect homePage;        // 网页框 (the list area below the title bar)
    QRect statusBox;       // 状态框
    QRect splitter;        // 分隔条
    int titleColumnWidth;  // 文章列表框 column 2, "帖子标题"

    // Controls at fixed design places.
    static constexpr QRect kTitleIcon{8, 9, 32, 32};
    static constexpr QRect kNameLabel{46, 14, 136, 24};
    static constexpr QRect kSearchFrame{320, 13, 212, 26};
    static constexpr QRect kSearchBox{332, 13, 189, 26};
    static constexpr QRect kFavouritesButton{5, 50, 84, 24};
    static constexpr QRect kAllButton{90, 50, 99, 24};
    static constexpr QRect kHomeToggle{189, 50, 39, 24};
    // Inside 左一框.
    static constexpr QRect kFrequencyLabel{5, 8, 30, 28};
    static constexpr QRect kFrequencyBox{33, 11, 40, 22};
    static constexpr QRect kRunButton{76, 8, 67, 26};
    static constexpr QRect kOneClickButton{147, 8, 67, 26};

    // The tree pane's width: 220 by design, wider when the user drags the handle between
    // the tree and the list (the run panel under the tree keeps its design width).
    static constexpr int kDefaultPane = 220;
    static constexpr int kMinListWidth = 300;
    // The pane width a window of width W can give: at least the design width, and room for the list.
    static int clampPane(int pane, int W);
    static MainLayout forSize(int W, int H, int pane = kDefaultPane);
};

}  // namespace tovi::gui
