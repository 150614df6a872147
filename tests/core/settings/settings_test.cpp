#include "core/settings/Settings.h"

#include <gtest/gtest.h>

#include "core/settings/IniFile.h"
#include "support/TestSupport.h"

namespace tovi {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(IniFile, MissingFileSectionOrKeyReadsEmpty) {
    TempDir dir;
    IniFile ini(dir / "tovimo.ini");
    EXPECT_EQ(ini.read(gbk("配置"), gbk("频率")), "");
    writeFile(dir / "tovimo.ini", gbk("[其他]\r\n频率=5\r\n"));
    EXPECT_EQ(ini.read(gbk("配置"), gbk("频率")), "");
    EXPECT_EQ(ini.read(gbk("其他"), gbk("高度")), "");
    EXPECT_EQ(ini.read(gbk("其他"), gbk("频率")), "5");
}

TEST(IniFile, ReadsFileWrittenElsewhere) {
    TempDir dir;
    // As a Windows program leaves it: CRLF lines, blanks around names, comments, other sections.
    writeFile(dir / "tovimo.ini", gbk("; comment\r\n[Other]\r\nA=1\r\n\r\n [配置] \r\n 高度 = 700 \r\n"
                                      "别名=\"老司机\"\r\nwIdTh=900\r\n类别=<论坛><新闻>\r\n"));
    IniFile ini(dir / "tovimo.ini");
    EXPECT_EQ(ini.read(gbk("配置"), gbk("高度")), "700");
    EXPECT_EQ(ini.read(gbk("配置"), gbk("别名")), gbk("老司机"));
    EXPECT_EQ(ini.read(gbk("配置"), "WIDTH"), "900");  // names match regardless of ASCII case
    EXPECT_EQ(ini.read(gbk("配置"), gbk("类别")), gbk("<论坛><新闻>"));
}

TEST(IniFile, WriteKeepsOtherLinesAndLineEnds) {
    TempDir dir;
    auto path = dir / "tovimo.ini";
    const std::string original = gbk("[Other]\r\nA=1\r\n[配置]\r\n高度=700\r\n宽度=900\r\n[Tail]\r\nZ=9\r\n");
    writeFile(path, original);
    IniFile ini(path);
    ASSERT_TRUE(ini.write(gbk("配置"), gbk("高度"), "720"));
    ASSERT_TRUE(ini.write(gbk("配置"), gbk("频率"), "30"));
    ASSERT_TRUE(ini.write(gbk("新节"), "K", gbk("值")));
    EXPECT_EQ(readFile(path),
              gbk("[Other]\r\nA=1\r\n[配置]\r\n高度=720\r\n宽度=900\r\n频率=30\r\n[Tail]\r\nZ=9\r\n"
                  "[新节]\r\nK=值\r\n"));
}

TEST(IniFile, FirstWriteCreatesFileWithCrlf) {
    TempDir dir;
    IniFile ini(dir / "tovimo.ini");
    ASSERT_TRUE(ini.write(gbk("配置"), gbk("语音提醒"), "1"));
    EXPECT_EQ(readFile(dir / "tovimo.ini"), gbk("[配置]\r\n语音提醒=1\r\n"));
}

TEST(IniFile, LongValuesAreNeverCut) {
    TempDir dir;
    IniFile ini(dir / "tovimo.ini");
    std::string many;
    for (int i = 0; i < 3000; ++i) many += gbk("<类别") + std::to_string(i) + ">";
    ASSERT_GT(many.size(), 20000u);
    ASSERT_TRUE(ini.write(gbk("配置"), gbk("类别"), many));
    EXPECT_EQ(ini.read(gbk("配置"), gbk("类别")), many);
}

TEST(IniFile, WriteFailsInReadOnlyPlace) {
    IniFile ini("/proc/tovi-no-such-dir/tovimo.ini");
    EXPECT_FALSE(ini.write("a", "b", "c"));
}

// Missing write bits are honoured as the read-only attribute, also for root: the file keeps its
// bytes and its mode.
TEST(IniFile, ReadOnlyFileOrDirectoryIsLeftExactlyAsItWas) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        fs::perms file, dir;
    } cases[] = {
        {"file without write bits", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
         fs::perms::owner_all},
        {"directory without write bits", fs::perms::owner_read | fs::perms::owner_write,
         fs::perms::owner_read | fs::perms::owner_exec},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir / "prog");
        const fs::path path = dir / "prog" / "tovimo.ini";
        const std::string before = gbk("[配置]\r\n频率=30\r\n");
        writeFile(path, before);
        fs::permissions(path, c.file);
        fs::permissions(dir / "prog", c.dir);
        IniFile ini(path);
        EXPECT_FALSE(ini.write(gbk("配置"), gbk("频率"), "60"));
        fs::permissions(dir / "prog", fs::perms::owner_all);
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(fs::status(path).permissions(), c.file);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "prog"), fs::directory_iterator()), 1);
    }
}

TEST(IniFile, WriteKeepsTheFileModeAndFollowsALink) {
    namespace fs = std::filesystem;
    TempDir dir;
    writeFile(dir / "real.ini", gbk("[配置]\r\n"));
    fs::permissions(dir / "real.ini", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(dir / "real.ini", dir / "tovimo.ini");
    IniFile ini(dir / "tovimo.ini");
    ASSERT_TRUE(ini.write(gbk("配置"), gbk("频率"), "60"));
    EXPECT_TRUE(fs::is_symlink(dir / "tovimo.ini"));
    EXPECT_EQ(readFile(dir / "real.ini"), gbk("[配置]\r\n频率=60\r\n"));
    EXPECT_EQ(fs::status(dir / "real.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(Settings, DefaultsAndRules) {
    TempDir dir;
    Settings s(dir / "tovimo.ini");
    EXPECT_EQ(s.rowHeight(), 30);
    EXPECT_EQ(s.windowSize().width, 1000);
    EXPECT_EQ(s.windowSize().height, 720);
    EXPECT_EQ(s.rowColor1(), Settings::kDefaultRowColor1);  // light, not black
    EXPECT_TRUE(s.categories().empty());

    struct Case {
        const char* rowHeight;
        int expected;
    } heights[] = {{"0", 30}, {"17", 30}, {"18", 18}, {"40", 40}, {"abc", 30}};
    for (const auto& c : heights) {
        SCOPED_TRACE(c.rowHeight);
        s.write(SettingKey::rowHeight(), c.rowHeight);
        EXPECT_EQ(s.rowHeight(), c.expected);
    }
    s.write(SettingKey::width(), "400");
    s.write(SettingKey::height(), "600");
    EXPECT_EQ(s.windowSize().width, 1000);  // too narrow for the layout
    s.write(SettingKey::width(), "800");
    EXPECT_EQ(s.windowSize().width, 800);
    EXPECT_EQ(s.windowSize().height, 600);
    s.write(SettingKey::rowColor1(), "0");  // an explicit black is honoured
    EXPECT_EQ(s.rowColor1(), 0u);
    s.write(SettingKey::categories(), gbk("<论坛><><  新闻 >"));
    EXPECT_EQ(s.categories(), (std::vector<std::string>{gbk("论坛"), gbk("新闻")}));
    EXPECT_TRUE(Settings::isOn("1"));
    EXPECT_FALSE(Settings::isOn(" 1"));
}

}  // namespace
}  // namespace tovi

#include "core/settings/WindowSettings.h"

namespace tovi {
namespace {

TEST(WindowSettings, SaveAndToggles) {
    test::TempDir dir;
    Settings s(dir / "tovimo.ini");
    ASSERT_TRUE(saveWindowSettings(s, 900, 650, ""));
    EXPECT_EQ(s.read(SettingKey::width()), "900");
    EXPECT_EQ(s.read(SettingKey::frequency()), "");  // an empty frequency is stored as it is
    EXPECT_TRUE(toggleSoundAlert(s, false));
    EXPECT_EQ(s.read(SettingKey::soundAlert()), "1");
    EXPECT_FALSE(toggleSoundAlert(s, true));
    EXPECT_EQ(s.read(SettingKey::soundAlert()), "0");
    EXPECT_TRUE(toggleIconAlert(s, false));
    EXPECT_EQ(s.read(SettingKey::iconAlert()), "1");
    Settings readOnly("/proc/tovi-no-such-dir/tovimo.ini");
    EXPECT_FALSE(saveWindowSettings(readOnly, 900, 650, "10"));
    EXPECT_TRUE(toggleSoundAlert(readOnly, false));  // keeps the new state for this run
}

}  // namespace
}  // namespace tovi
