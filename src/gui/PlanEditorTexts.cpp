#include "gui/PlanEditorTexts.h"

#include "gui/GuiText.h"

namespace tovi::gui {
namespace {

// Lines of the list in 测试编辑框: two heading lines, then two lines for each proposal.
constexpr int kSuggestionHeadLines = 2;

}  // namespace

const char* const kRegexItems[4] = {
    "*　必填，(\\d*)代表数字　(.*?)表示字符串　下面3个是DZ论坛常用规则",
    "<a href=\\\"(.*?)\\\".*?onclick=\\\"atarget\\(this\\)\\\" class=.*?xst\\\">(.*?)</a>",
    "<a href=\"(.*?)\" onclick=\\\"atarget\\(this\\)\\\" class=\\\"xst\\\" >(.*?)</a>",
    "<a href=\"(.*?)\" onclick=\\\"atarget\\(this\\)\\\" class=\\\".*?xst\\\" >(.*?)</a>",
};

const char* const kTestHelp =
    "流程：\n“采集配置”→“规则测试”成功→完善“数据项”→点“新建规则”\n注释：\n"
    "时间倒序：列表页的文章排序是按时间倒序排列；即新文章显示在上面\n时间正序：新发的文章显示在老文章下面\n"
    "比较文章id：列表中的文章网址包含文章id，且新发的文章id比老文章id大。通常网站的id都是自加1。论坛推荐此模"
    "式";

const EditorHint kEditorHints[10] = {
    {"编辑框_站名", "方案的标识，示例：天涯论坛_休闲版块"},
    {"gbk", "源站的编码，选错会乱码。勾选表示gbk，否则为utf-8"},
    {"ua框", "自定义浏览器标记，采集手机版页面可能用到！"},
    {"编辑框_网址", "被监控的列表页面地址"},
    {"cookie框", "可为空！用于需要登陆才能查看的网站"},
    {"采集前", "将从源码的该标记开始匹配，如不明白，可保持默认"},
    {"采集后", "采集区域从此处结束，如不明白，可保持默认"},
    {"正则框",
     "重要！匹配文章的正则表达式，<a style='color:red;' "
     "href='https://bbs.tovidesk.example/forum.php?mod=forumdisplay&fid=57'>获取帮助</a>"},
    {"tindex框", "正则匹配得到的 标题的索引编号。下同"},
    {"补全框", "合成实际的文章地址。[1]表示测试结果索引1的内容"},
};

QString hintHtml(const QString& text) {
    return QStringLiteral("<html><body style='font-size:9pt; color:#1E8C3A;'>%1</body></html>").arg(text);
}

QString suggestionListText(const std::vector<PlanSuggestion>& suggestions, std::size_t chosen,
                           const std::string& note) {
    QString text = QStringLiteral("自动识别找到 %1 个文章列表（%2双击一项改用它）：\n")
                       .arg(suggestions.size())
                       .arg(note.empty() ? QString() : q(note) + QStringLiteral("；"));
    for (std::size_t k = 0; k < suggestions.size(); ++k) {
        const PlanSuggestion& c = suggestions[k];
        QString samples;
        for (const std::string& t : c.sampleTitles)
            samples += (samples.isEmpty() ? QString() : QStringLiteral("｜")) + q(t);
        text += QStringLiteral("\n%1 %2. %3，%4 篇%5%6\n    %7")
                    .arg(k == chosen ? QStringLiteral("▶") : QStringLiteral("  "))
                    .arg(k + 1)
                    .arg(QString::fromStdString(c.structure))
                    .arg(c.count)
                    .arg(k == chosen ? QStringLiteral("（已填入）") : QString())
                    .arg(c.doubt.empty() ? QString() : QStringLiteral("　注意：") + q(c.doubt))
                    .arg(samples);
    }
    return text;
}

std::optional<std::size_t> suggestionAtLine(int line, std::size_t count) {
    if (line < kSuggestionHeadLines) return std::nullopt;
    const auto k = static_cast<std::size_t>((line - kSuggestionHeadLines) / 2);
    return k < count ? std::optional(k) : std::nullopt;
}

}  // namespace tovi::gui
