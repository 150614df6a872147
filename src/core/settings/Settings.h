#pragma once
// The user's preferences in tovimo.ini, section 配置, as GBK text.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "core/settings/IniFile.h"

namespace tovi {

namespace SettingKey {
// GBK key names of section 配置.
const std::string& section();
const std::string& height();       // 高度
const std::string& width();        // 宽度
const std::string& soundAlert();   // 语音提醒
const std::string& iconAlert();    // 图标提醒
const std::string& alias();        // 别名
const std::string& rowHeight();    // 行高
const std::string& rowColor1();    // 行色1
const std::string& rowColor2();    // 行色2
const std::string& frequency();    // 频率
const std::string& categories();   // 类别
const std::string& parallel();     // 并发
const std::string& notifyAlert();  // 弹出通知
}  // namespace SettingKey

// Monitoring cycles are at least this many seconds apart (频率).
constexpr int kMinimumFrequencySeconds = 10;

struct WindowSize {
    int width = 0;
    int height = 0;
};

class Settings {
public:
    static constexpr int kDesignWidth = 1000;
    static constexpr int kDesignHeight = 720;
    // The smallest window in which every control stays usable: the title bar's buttons right of
    // the search box, a few plans in the tree and rows in the list.
    static constexpr int kMinWidth = 660;
    static constexpr int kMinHeight = 320;
    // Light grey-blue and white in Windows colour order (red in the lowest byte).
    static constexpr std::uint32_t kDefaultRowColor1 = 0xFBF7F3;
    static constexpr std::uint32_t kDefaultRowColor2 = 0xFFFFFF;

    explicit Settings(std::filesystem::path iniPath) : m_ini(std::move(iniPath)) {}

    const std::filesystem::path& path() const { return m_ini.path(); }

    std::string read(std::string_view key) const;
    bool write(std::string_view key, std::string_view value);

    // The stored size, or the design size when it is missing or too small for the layout.
    WindowSize windowSize() const;
    // Below 18 pixels (or missing) rows are 30 pixels high.
    int rowHeight() const;
    // Windows COLORREF values; a missing key gives a light colour rather than black rows.
    std::uint32_t rowColor1() const;
    std::uint32_t rowColor2() const;
    std::vector<std::string> categories() const;
    // Page fetches in flight at once while monitoring (并发): 1 to 64; 16 when missing or not
    // such a number.
    static constexpr int kDefaultParallelFetches = 16;
    int parallelFetches() const;

    // The two alert switches: only the exact text "1" means on.
    static bool isOn(std::string_view switchValue) { return switchValue == "1"; }
    // The notification switch is on unless it reads "0" (missing: on).
    static bool notifyOn(std::string_view switchValue) { return switchValue != "0"; }

private:
    std::uint32_t rowColor(const std::string& key, std::uint32_t fallback) const;
    IniFile m_ini;
};

// Whether a value may be stored under a key of section 配置, and why not (GBK): only the
// program's own keys, each with values of its kind (频率 at least 10 seconds, 类别 as <a><b>,
// 并发 1 to 64, switches 0 or 1, sizes and colours as numbers), never a line break.
Result<> checkSetting(std::string_view key, std::string_view value);

// A first tovimo.ini for a new program directory: the categories 论坛 and 新闻, cycles every
// 60 seconds. Nothing is written when the file exists. False when it could not be written.
bool writeStarterSettings(const std::filesystem::path& iniPath);

}  // namespace tovi
