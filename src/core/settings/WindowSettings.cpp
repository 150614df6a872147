#include "core/settings/WindowSettings.h"

#include "core/settings/Settings.h"

namespace tovi {

bool saveWindowSettings(Settings& settings, int width, int height, const std::string& frequencyText) {
    return settings.write(SettingKey::height(), std::to_string(height)) &&
           settings.write(SettingKey::width(), std::to_string(width)) &&
           settings.write(SettingKey::frequency(), frequencyText);
}

namespace {
std::string toggle(Settings& settings, const std::string& key, const std::string& current) {
    std::string next = Settings::isOn(current) ? "0" : "1";
    settings.write(key, next);
    return next;
}
}  // namespace

std::string toggleSoundAlert(Settings& settings, const std::string& current) {
    return toggle(settings, SettingKey::soundAlert(), current);
}

std::string toggleIconAlert(Settings& settings, const std::string& current) {
    return toggle(settings, SettingKey::iconAlert(), current);
}

std::string toggleNotifyAlert(Settings& settings, const std::string& current) {
    std::string next = Settings::notifyOn(current) ? "0" : "1";
    settings.write(SettingKey::notifyAlert(), next);
    return next;
}

}  // namespace tovi
