#pragma once
// The tray menu's settings actions.
#include <string>

namespace tovi {

class Settings;

// "记住当前 界面大小、频率": writes 高度, 宽度 and 频率 in that order, stopping at the first
// failure (keys written before it stay). The caller passes the restored (normal) size, also
// when the window is maximised or minimised.
bool saveWindowSettings(Settings& settings, int width, int height, const std::string& frequencyText);

// The alert switches turned the other way and written to the file as "1" or "0" (a failed
// write keeps the new state for this run). Returns the new state.
bool toggleSoundAlert(Settings& settings, bool current);
bool toggleIconAlert(Settings& settings, bool current);
// "有新文章时 弹出通知": on (missing, or anything but "0") becomes "0", off becomes "1".
std::string toggleNotifyAlert(Settings& settings, const std::string& current);

}  // namespace tovi
