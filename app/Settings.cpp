#include "Settings.h"

#include <QSettings>

#include <tuple>

#include "Log.h"
#include "Text.h"

namespace tally {

namespace {

const QString brightnessKey = QStringLiteral("brightness");
const QString anyCallKey = QStringLiteral("anyCall");
const QString showAsKey = QStringLiteral("showAs");

// "colour/inCall", "pulse/inCall": the name of the enumerator, which no version renames.
QString keyOf(const char* group, LightState state) {
    static constexpr const char* names[] = {"available", "busy", "inCall", "dnd", "away", "off", "unknown"};
    return QString::fromLatin1(group) + QLatin1Char('/') + QString::fromLatin1(names[static_cast<std::size_t>(state)]);
}

QString hexOf(const Look& look) {
    return QStringLiteral("#%1%2%3")
        .arg(look.red, 2, 16, QLatin1Char('0'))
        .arg(look.green, 2, 16, QLatin1Char('0'))
        .arg(look.blue, 2, 16, QLatin1Char('0'));
}

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

Palette Settings::palette() {
    Palette palette = defaultPalette();
    for (LightState state : paletteStates) {
        Look& look = palette[static_cast<std::size_t>(state)];
        const Look own = look;
        const QString colourKey = keyOf("colour", state);
        if (const QVariant saved = read(colourKey); saved.isValid()) {
            const QString text = saved.toString().trimmed();
            bool ok = text.size() == 7 && text.startsWith(QLatin1Char('#'));
            const uint rgb = ok ? text.mid(1).toUInt(&ok, 16) : 0;
            // Black would be the light off, which no state but off may look like.
            if (ok && rgb != 0) {
                look.red = static_cast<int>(rgb >> 16) & 0xFF;
                look.green = static_cast<int>(rgb >> 8) & 0xFF;
                look.blue = static_cast<int>(rgb) & 0xFF;
            } else {
                unusable(colourKey, saved, hexOf(own));
            }
        }
        const QString pulseKey = keyOf("pulse", state);
        if (const QVariant saved = read(pulseKey); saved.isValid()) {
            const QString text = saved.toString();
            if (text == QStringLiteral("true") || text == QStringLiteral("false")) {
                look.pulse = text == QStringLiteral("true");
                look.periodMs = look.pulse ? pulsePeriodOf(state) : 0;
            } else {
                unusable(pulseKey, saved, own.pulse ? QStringLiteral("pulsing") : QStringLiteral("steady"));
            }
        }
    }
    return palette;
}

void Settings::setLook(LightState state, const Look& look) {
    save(keyOf("colour", state), hexOf(look));
    save(keyOf("pulse", state), look.pulse);
}

void Settings::forgetPalette() {
    QSettings settings;
    settings.remove(QStringLiteral("colour"));
    settings.remove(QStringLiteral("pulse"));
}

bool Settings::readFlag(const QString& key, bool otherwise) {
    const QVariant saved = read(key);
    if (!saved.isValid()) return otherwise;
    const QString text = saved.toString();
    if (text == QStringLiteral("true") || text == QStringLiteral("false")) return text == QStringLiteral("true");
    unusable(key, saved, otherwise ? QStringLiteral("on") : QStringLiteral("off"));
    return otherwise;
}

namespace {

// "09:00" as minutes after midnight, if it is a time of day.
std::optional<int> minutesOf(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    bool hourOk = false, minuteOk = false;
    if (parts.size() != 2 || parts[1].size() != 2) return std::nullopt;
    const int hour = parts[0].toInt(&hourOk), minute = parts[1].toInt(&minuteOk);
    if (!hourOk || !minuteOk || hour < 0 || hour > 24 || minute < 0 || minute > 59 || hour * 60 + minute > 24 * 60)
        return std::nullopt;
    return hour * 60 + minute;
}

QString timeText(int minutes) { return QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0')); }

}  // namespace

WorkingHours Settings::hours() {
    WorkingHours hours;
    const WorkingHours defaults;
    hours.on = readFlag(QStringLiteral("hours/on"), defaults.on);
    if (const QVariant saved = read(QStringLiteral("hours/days")); saved.isValid()) {
        std::array<bool, 7> days{};
        bool ok = true;
        for (const QString& day : saved.toStringList().join(QLatin1Char(',')).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool number = false;
            const int value = day.trimmed().toInt(&number);  // 1 Monday to 7 Sunday
            if (number && value >= 1 && value <= 7) days[static_cast<std::size_t>(value - 1)] = true;
            else ok = false;
        }
        if (ok) hours.days = days;
        else unusable(QStringLiteral("hours/days"), saved, QStringLiteral("Monday to Friday"));
    }
    for (auto [key, field, fallback] : {std::tuple{QStringLiteral("hours/start"), &hours.start, defaults.start},
                                        std::tuple{QStringLiteral("hours/end"), &hours.end, defaults.end}}) {
        if (const QVariant saved = read(key); saved.isValid()) {
            if (const auto minutes = minutesOf(saved.toString())) *field = *minutes;
            else unusable(key, saved, timeText(fallback));
        }
    }
    if (const QVariant saved = read(QStringLiteral("hours/outside")); saved.isValid()) {
        const auto state = lightStateFromRawValue(saved.toString().toStdString());
        if (state && *state != LightState::inCall && *state != LightState::unknown) hours.outside = *state;
        else unusable(QStringLiteral("hours/outside"), saved, QStringLiteral("Off"));
    }
    hours.manualOutside = readFlag(QStringLiteral("hours/manualOutside"), defaults.manualOutside);
    return hours;
}

void Settings::setHours(const WorkingHours& hours) {
    QStringList days;
    for (std::size_t day = 0; day < hours.days.size(); ++day)
        if (hours.days[day]) days << QString::number(day + 1);
    save(QStringLiteral("hours/on"), hours.on);
    save(QStringLiteral("hours/days"), days.join(QLatin1Char(',')));
    save(QStringLiteral("hours/start"), timeText(hours.start));
    save(QStringLiteral("hours/end"), timeText(hours.end));
    save(QStringLiteral("hours/outside"), qText(rawValue(hours.outside)));
    save(QStringLiteral("hours/manualOutside"), hours.manualOutside);
}

bool Settings::darkWhenLocked() { return readFlag(QStringLiteral("darkWhenLocked"), false); }

void Settings::setDarkWhenLocked(bool on) { save(QStringLiteral("darkWhenLocked"), on); }

std::vector<std::string> Settings::neverCalls() {
    std::vector<std::string> programs;
    for (const QString& name : read(QStringLiteral("neverCalls")).toStringList())
        if (!name.isEmpty()) programs.push_back(name.toStdString());
    return programs;
}

void Settings::setNeverCalls(const std::vector<std::string>& programs) {
    QStringList names;
    for (const auto& program : programs) names << QString::fromStdString(program);
    save(QStringLiteral("neverCalls"), names);
}

void Settings::setShowAs(std::optional<LightState> state) {
    save(showAsKey, state ? QString::fromUtf8(rawValue(*state).data(), static_cast<int>(rawValue(*state).size()))
                          : QStringLiteral("automatic"));
}

}  // namespace tally
