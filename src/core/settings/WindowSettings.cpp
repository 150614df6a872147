#include "core/settings/WindowSettings.h"

#include "core/settings/Settings.h"

namespace tovi {

bool saveWindowSettings(Settings& settings, int width, int height, const std::string& frequencyText) {
    return settings.write(SettingKey::height(), std::to_string(height)) &&
           settings.write(SettingKey::width(), std::to_string(width)) &&
           settings.write(SettingKey::frequency(), frequencyText);
}

namespace {
bool toggle(Settings& settings, const std::string& key, bool current) {
    settings.write(key, current ? "0" : "1");
    return !current;
}
}  // namespace

bool toggleSoundAlert(Settings& settings, bool current) {
    return toggle(settings, SettingKey::soundAlert(), current);
}

bool toggleIconAlert(Settings& settings, bool current) {
    return toggle(settings, SettingKey::iconAlert(), current);
}

std::string toggleNotifyAlert(Settings& settings, const std::string& current) {
    std::string next = Settings::notifyOn(current) ? "0" : "1";
    settings.write(SettingKey::notifyAlert(), next);
    return next;
}

}  // namespace tovi
