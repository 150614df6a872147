#include "core/settings/Settings.h"

#include <optional>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"
#include "core/text/TextToInt.h"

namespace tovi {

namespace SettingKey {
#define TOVI_KEY(fn, text)                          \
    const std::string& fn() {                       \
        static const std::string value = gbk(text); \
        return value;                               \
    }
TOVI_KEY(section, "配置")
TOVI_KEY(height, "高度")
TOVI_KEY(width, "宽度")
TOVI_KEY(soundAlert, "语音提醒")
TOVI_KEY(iconAlert, "图标提醒")
TOVI_KEY(alias, "别名")
TOVI_KEY(rowHeight, "行高")
TOVI_KEY(rowColor1, "行色1")
TOVI_KEY(rowColor2, "行色2")
TOVI_KEY(frequency, "频率")
TOVI_KEY(categories, "类别")
TOVI_KEY(parallel, "并发")
TOVI_KEY(notifyAlert, "弹出通知")
#undef TOVI_KEY
}  // namespace SettingKey

std::string Settings::read(std::string_view key) const { return m_ini.read(SettingKey::section(), key); }

bool Settings::write(std::string_view key, std::string_view value) {
    return m_ini.write(SettingKey::section(), key, value);
}

WindowSize Settings::windowSize() const {
    auto w = textToInt(read(SettingKey::width()));
    auto h = textToInt(read(SettingKey::height()));
    if (w < kMinWidth || h < kMinHeight || w > 100000 || h > 100000) return {kDesignWidth, kDesignHeight};
    return {static_cast<int>(w), static_cast<int>(h)};
}

int Settings::rowHeight() const {
    auto h = textToInt(read(SettingKey::rowHeight()));
    if (h < 18) return 30;
    return h > 1000 ? 1000 : static_cast<int>(h);
}

std::uint32_t Settings::rowColor(const std::string& key, std::uint32_t fallback) const {
    auto value = m_ini.find(SettingKey::section(), key);
    if (!value || value->empty()) return fallback;
    return static_cast<std::uint32_t>(textToInt(*value)) & 0xFFFFFF;
}

std::uint32_t Settings::rowColor1() const { return rowColor(SettingKey::rowColor1(), kDefaultRowColor1); }
std::uint32_t Settings::rowColor2() const { return rowColor(SettingKey::rowColor2(), kDefaultRowColor2); }

int Settings::parallelFetches() const {
    const std::string text = read(SettingKey::parallel());
    // Written by hand as something else than a number: the default, not one at a time.
    if (checkSetting(SettingKey::parallel(), text)) return static_cast<int>(textToInt(text));
    return kDefaultParallelFetches;
}

std::vector<std::string> Settings::categories() const {
    return segmentsBetween(read(SettingKey::categories()), "<", ">");
}

namespace {

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return textToInt(text);
}

}  // namespace

Result<> checkSetting(std::string_view key, std::string_view value) {
    namespace K = SettingKey;
    const std::string k(key), v(value);
    auto unless = [](bool fits, std::string why) -> Result<> {
        if (fits) return {};
        return Error{std::move(why)};
    };
    if (value.find_first_of("\r\n") != std::string_view::npos) return Error{gbk("设置值中不能有换行符")};
    auto number = wholeNumber(value);
    auto within = [&](std::int64_t low, std::int64_t high) {
        return number && *number >= low && *number <= high;
    };
    if (k == K::frequency())
        return unless(within(kMinimumFrequencySeconds, 30LL * 24 * 3600),
                      gbk("频率 要写成不小于 10 的整数（秒）：") + v);
    if (k == K::categories()) {
        std::string rebuilt;
        for (const std::string& c : segmentsBetween(value, "<", ">"))
            if (c.find('<') == std::string::npos) rebuilt += "<" + c + ">";
        return unless(!rebuilt.empty() && rebuilt == v, gbk("类别 要写成 <分类一><分类二> 的样子：") + v);
    }
    if (k == K::parallel()) return unless(within(1, 64), gbk("并发 要写成 1 到 64 的整数：") + v);
    if (k == K::soundAlert() || k == K::iconAlert() || k == K::notifyAlert())
        return unless(v == "0" || v == "1", k + gbk(" 只能是 0（关）或 1（开）：") + v);
    if (k == K::height() || k == K::width() || k == K::rowHeight())
        return unless(within(0, 100000), k + gbk(" 要写成像素数：") + v);
    if (k == K::rowColor1() || k == K::rowColor2())
        return unless(within(0, 0xFFFFFF), k + gbk(" 要写成 0 到 16777215 的颜色值：") + v);
    if (k == K::alias()) return {};
    return Error{
        gbk("没有这个设置：") + k +
        gbk("（有：频率、类别、并发、语音提醒、图标提醒、弹出通知、别名、高度、宽度、行高、行色1、行色2"
            "）")};
}

bool writeStarterSettings(const std::filesystem::path& iniPath) {
    std::error_code ec;
    if (std::filesystem::exists(iniPath, ec)) return true;
    Settings settings(iniPath);
    return settings.write(SettingKey::categories(), gbk("<论坛><新闻>")) &&
           settings.write(SettingKey::frequency(), "60");
}

}  // namespace tovi
