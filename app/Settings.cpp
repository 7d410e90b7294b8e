#include "Settings.h"

#include <QSettings>

#include "Log.h"

namespace tally {

namespace {

const QString brightnessKey = QStringLiteral("brightness");
const QString anyCallKey = QStringLiteral("anyCall");
const QString showAsKey = QStringLiteral("showAs");

std::string fileOf(const QSettings& settings) { return settings.fileName().toStdString(); }

}  // namespace

QVariant Settings::read(const QString& key) {
    const QSettings settings;
    if (settings.status() != QSettings::NoError && !toldUnreadable_) {
        toldUnreadable_ = true;
        Log::write("cannot read the settings in " + fileOf(settings) + ": Tally uses its defaults");
    }
    return settings.value(key);
}

void Settings::save(const QString& key, const QVariant& value) {
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError && !toldUnsaved_) {
        toldUnsaved_ = true;
        Log::write("cannot save the settings in " + fileOf(settings) + ": choices last until Tally quits");
    }
}

void Settings::unusable(const QString& key, const QVariant& value, const QString& instead) {
    Log::write("the saved " + key.toStdString() + " (" + value.toString().left(40).toStdString() +
               ") cannot be used: " + instead.toStdString() + " instead");
}

int Settings::brightness() {
    const QVariant saved = read(brightnessKey);
    if (!saved.isValid()) return defaultBrightness;
    bool number = false;
    const int value = saved.toString().trimmed().toInt(&number);
    if (number && value == 0) return defaultBrightness;  // what "none" was once saved as
    if (number && value >= 1 && value <= 100) return value;
    unusable(brightnessKey, saved, QString::number(defaultBrightness));
    return defaultBrightness;
}

void Settings::setBrightness(int value) { save(brightnessKey, value); }

bool Settings::anyCall() {
    const QVariant saved = read(anyCallKey);
    if (!saved.isValid()) return true;
    const QString text = saved.toString();
    if (text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
    unusable(anyCallKey, saved, QStringLiteral("on"));
    return true;
}

void Settings::setAnyCall(bool on) { save(anyCallKey, on); }

std::optional<LightState> Settings::showAs() {
    const QVariant saved = read(showAsKey);
    if (!saved.isValid()) return std::nullopt;
    const QString text = saved.toString();
    if (text == QStringLiteral("automatic")) return std::nullopt;
    // Saved as the state's own words; unknown, the "state" no person sets, is no choice either.
    const auto state = lightStateFromRawValue(text.toStdString());
    if (state && *state != LightState::inCall && *state != LightState::unknown) return state;
    unusable(showAsKey, saved, QStringLiteral("automatic"));
    return std::nullopt;
}

void Settings::setShowAs(std::optional<LightState> state) {
    save(showAsKey, state ? QString::fromUtf8(rawValue(*state).data(), static_cast<int>(rawValue(*state).size()))
                          : QStringLiteral("automatic"));
}

}  // namespace tally
