#include "AppModel.h"

#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QMetaObject>
#include <QStringList>
#include <QTime>

#include "Desktop.h"
#include "LoginItem.h"
#include "Log.h"
#include "Text.h"

namespace tally {

namespace {

std::string launchLine(const Switches& s) {
    std::string line = "Tally started";
    if (s.dryRun) line += " (dry run)";
    if (s.simulate) line += " (simulate)";
    return line;
}

// "Mon Tue Wed Thu Fri 09:00-17:00, Off outside": the working hours for the log.
std::string settingsText(const WorkingHours& hours) {
    static constexpr const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    std::string text;
    for (std::size_t day = 0; day < 7; ++day)
        if (hours.days[day]) text += std::string(days[day]) + " ";
    char times[32];
    std::snprintf(times, sizeof times, "%02d:%02d-%02d:%02d", hours.start / 60, hours.start % 60, hours.end / 60,
                  hours.end % 60);
    return text + times + ", " + std::string(rawValue(hours.outside)) + " outside" +
           (hours.manualOutside ? ", a status set by hand shows outside them" : "");
}

// The menu's light line: Tally's own light as it always said; another maker's by name; several
// in one line; a light that may not be opened, and why, when none is driven.
QString lightLine(const Engine::Snapshot& snapshot) {
    const QString own = QStringLiteral("connected (firmware %1)")
                            .arg(QString::fromStdString(snapshot.firmware.value_or("?")));
    QStringList names;
    for (const auto& name : snapshot.otherLights) names << QString::fromStdString(name);
    if (names.isEmpty()) {
        if (snapshot.lightConnected) return QStringLiteral("Light: ") + own;
        if (snapshot.lightProblem) return QStringLiteral("Light: ") + QString::fromStdString(*snapshot.lightProblem);
        if (!snapshot.blockedLights.empty())
            return QStringLiteral("Light: ") + QString::fromStdString(snapshot.blockedLights.front());
        return QStringLiteral("Light: not found");
    }
    if (snapshot.lightConnected) names.prepend(QStringLiteral("Tally light"));
    if (names.size() == 1) return QStringLiteral("Light: %1, connected").arg(names.front());
    return QStringLiteral("Lights: %1").arg(names.join(QStringLiteral(", ")));
}

}  // namespace

AppModel::AppModel(Switches switches, const EngineFactory& makeEngine,
                   std::function<bool()> confirmStartAtLogin, platform::LoginItem::Service loginItem,
                   std::function<void(bool)> watchCalls, QObject* parent)
    : QObject(parent),
      switches_(std::move(switches)),
      confirmStartAtLogin_(std::move(confirmStartAtLogin)),
      loginItem_(std::move(loginItem)),
      watchCalls_(std::move(watchCalls)),
      lightStatus_(QStringLiteral("Light: looking\u2026")),
      startAtLogin_(loginItem_.status() == platform::LoginItem::Status::enabled) {
    Log::setEcho(switches_.dryRun || switches_.simulate);
    Log::write(launchLine(switches_));

    brightness_ = settings_.brightness();
    anyCall_ = settings_.anyCall();
    manual_ = settings_.showAs();
    palette_ = settings_.palette();
    neverCalls_ = settings_.neverCalls();
    hours_ = settings_.hours();
    darkWhenLocked_ = settings_.darkWhenLocked();

    // Snapshots come from the engine's thread; the queued call brings them to this one and
    // is dropped if the model is gone by then. A snapshot like the one before changes nothing
    // here, so it is not sent: the main thread then sleeps while nothing happens.
    engine_ = makeEngine(
        brightness_,
        [this, last = std::optional<Engine::Snapshot>()](const Engine::Snapshot& snapshot) mutable {
            if (snapshot == last) return;
            last = snapshot;
            QMetaObject::invokeMethod(this, [this, snapshot] { apply(snapshot); },
                                      Qt::QueuedConnection);
        });

    watchCalls_(anyCall_);
    if (palette_ != defaultPalette()) engine_->setPalette(palette_);
    if (hours_ != WorkingHours{}) engine_->setHours(hours_);
    if (manual_) {
        Log::write("status set by hand: " + std::string(rawValue(*manual_)) + " until changed (as saved)");
        ++manualChanges_;
        engine_->setManual(Engine::ManualStatus{*manual_, std::nullopt});
    }
    engine_->start();
}

AppModel::~AppModel() {
    engine_.reset();  // no snapshot can arrive after this
}

void AppModel::apply(const Engine::Snapshot& snapshot) {
    if (snapshot.state != state_) {
        state_ = snapshot.state;
        emit stateChanged();
    }
    const QString light = lightLine(snapshot);
    if (light != lightStatus_) {
        lightStatus_ = light;
        emit lightStatusChanged();
    }
    // A timed status that ended (the engine says so in the log) is automatic again here; a
    // snapshot made before the engine heard of the latest choice says nothing of it.
    if (snapshot.manualChanges == manualChanges_ && !snapshot.manual && manual_ && !manualUntil_.isEmpty()) {
        manual_.reset();
        manualUntil_.clear();
        emit manualChanged();
    }
    if (snapshot.outsideHours != outsideHours_) {
        outsideHours_ = snapshot.outsideHours;
        Log::write(outsideHours_ ? "outside working hours" : "working hours begin");
        emit hoursChanged();
    }
    if (snapshot.logsReadable != logsReadable_) {
        logsReadable_ = snapshot.logsReadable;
        Log::write(logsReadable_ ? "can read the Teams logs in " + teamsLogDirectory() + " again"
                                 : "cannot read the Teams logs in " + teamsLogDirectory() +
                                       ": the folder is missing or closed to Tally");
        emit logsReadableChanged();
    }
}

void AppModel::setPaused(bool paused) {
    if (paused != paused_) {
        paused_ = paused;
        emit pausedChanged();
    }
    engine_->setPaused(paused_);
}

void AppModel::startTest() { engine_->startTest(); }

void AppModel::setBrightness(int brightness) {
    if (brightness != brightness_) {
        brightness_ = brightness;
        emit brightnessChanged();
    }
    settings_.setBrightness(brightness_);
    engine_->setBrightness(brightness_);
}

void AppModel::setAnyCall(bool on) {
    if (on != anyCall_) {
        anyCall_ = on;
        Log::write(std::string("any call (microphone or camera): ") + (on ? "on" : "off"));
        emit anyCallChanged();
    }
    settings_.setAnyCall(anyCall_);
    watchCalls_(anyCall_);
}

void AppModel::showAs(LightState state, std::optional<int> minutes) {
    manual_ = state;
    manualUntil_ = minutes ? QTime::currentTime().addSecs(*minutes * 60).toString(QStringLiteral("HH:mm")) : QString();
    Log::write("status set by hand: " + std::string(rawValue(state)) +
               (minutes ? " for " + std::to_string(*minutes) + " minutes, until " + manualUntil_.toStdString()
                        : std::string(" until changed")));
    settings_.setShowAs(minutes ? std::nullopt : manual_);
    ++manualChanges_;
    engine_->setManual(Engine::ManualStatus{state, minutes ? std::optional<double>(*minutes * 60.0) : std::nullopt});
    emit manualChanged();
}

void AppModel::setLook(LightState state, Look look) {
    if (state == LightState::off) return;  // off is the light dark
    if (look.red == 0 && look.green == 0 && look.blue == 0) look.red = look.green = look.blue = 1;  // black is off
    look.periodMs = look.pulse ? pulsePeriodOf(state) : 0;
    Look& mine = palette_[static_cast<std::size_t>(state)];
    if (look == mine) return;
    mine = look;
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", look.red, look.green, look.blue);
    Log::write(std::string(rawValue(state)) + " shows " + hex + (look.pulse ? ", pulsing" : ", steady"));
    settings_.setLook(state, look);
    engine_->setPalette(palette_);
    emit paletteChanged();
}

void AppModel::useCallPrograms(std::function<std::vector<std::string>()> programs,
                               std::function<void(std::vector<std::string>)> ignore) {
    callPrograms_ = std::move(programs);
    ignoreCalls_ = std::move(ignore);
    if (ignoreCalls_) ignoreCalls_(neverCalls_);
}

void AppModel::setNeverCall(const std::string& program, bool never) {
    const auto at = std::find(neverCalls_.begin(), neverCalls_.end(), program);
    if (never == (at != neverCalls_.end())) return;
    if (never)
        neverCalls_.push_back(program);
    else
        neverCalls_.erase(at);
    Log::write((never ? "never counted as a call: " : "counted as a call again: ") + program);
    settings_.setNeverCalls(neverCalls_);
    if (ignoreCalls_) ignoreCalls_(neverCalls_);
    emit neverCallsChanged();
}

void AppModel::setHours(const WorkingHours& hours) {
    if (hours == hours_) return;
    hours_ = hours;
    Log::write(hours_.on ? "working hours: " + settingsText(hours_) : std::string("working hours: off, always on"));
    settings_.setHours(hours_);
    engine_->setHours(hours_);
    emit hoursChanged();
}

void AppModel::setDarkWhenLocked(bool on) {
    if (on == darkWhenLocked_) return;
    darkWhenLocked_ = on;
    Log::write(std::string("dark while the screen is locked: ") + (on ? "on" : "off"));
    settings_.setDarkWhenLocked(on);
    engine_->setLocked(darkForLock());
    emit hoursChanged();
}

void AppModel::screenLockChanged(bool locked) {
    if (locked == screenLocked_) return;
    screenLocked_ = locked;
    if (darkWhenLocked_) Log::write(locked ? "screen locked: light dark" : "screen unlocked");
    engine_->setLocked(darkForLock());
    emit hoursChanged();
}

void AppModel::restorePalette() {
    settings_.forgetPalette();
    if (palette_ == defaultPalette()) return;
    palette_ = defaultPalette();
    Log::write("colours: Tally's own again");
    engine_->setPalette(palette_);
    emit paletteChanged();
}

void AppModel::automatic() {
    if (manual_) Log::write("status set by hand cleared: automatic");
    manual_.reset();
    manualUntil_.clear();
    settings_.setShowAs(std::nullopt);
    ++manualChanges_;
    engine_->setManual(std::nullopt);
    emit manualChanged();
}

QString trayToolTip(const AppModel& model) {
    if (model.paused()) return QStringLiteral("Paused");
    if (model.darkForLock()) return QStringLiteral("Screen locked");
    if (model.outsideHours() && !(model.manual() && model.hours().manualOutside))
        return QStringLiteral("Outside working hours");
    const LightState shown = model.shown();
    if (model.manual() && shown == *model.manual())
        return qText(rawValue(shown)) + QStringLiteral(": set by hand") +
               (model.manualUntil().isEmpty() ? QString() : QStringLiteral(" until ") + model.manualUntil());
    if (shown == LightState::inCall && model.anyCall()) {
        QStringList counted;
        const auto& never = model.neverCalls();
        for (const auto& program : model.callPrograms())
            if (!program.empty() && std::find(never.begin(), never.end(), program) == never.end())
                counted << QString::fromStdString(program);
        if (!counted.isEmpty())
            return QStringLiteral("In a call: microphone or camera used by ") + counted.join(QStringLiteral(", "));
    }
    return QStringLiteral("Teams: ") + qText(rawValue(shown));
}

void AppModel::publishStartAtLogin(bool value) {
    if (value != startAtLogin_) {
        startAtLogin_ = value;
        emit startAtLoginChanged();
    }
}

void AppModel::setStartAtLogin(bool on) {
    namespace LoginItem = platform::LoginItem;
    if (on) {
        if (!confirmStartAtLogin_ || !confirmStartAtLogin_()) {
            publishStartAtLogin(false);
            return;
        }
        const auto outcome = loginItem_.enable();
        if (outcome.ok) {
            if (loginItem_.status() == LoginItem::Status::requiresApproval)
                loginItem_.openApprovalSettings();
            Log::write("start at login: on");
        } else {
            Log::write("start at login failed: " + outcome.error);
        }
    } else {
        const auto outcome = loginItem_.disable();
        Log::write(outcome.ok ? std::string("start at login: off")
                              : "start at login failed: " + outcome.error);
    }
    publishStartAtLogin(loginItem_.status() == LoginItem::Status::enabled);
}

void AppModel::willSleep() {
    Log::write(platform::Desktop::machineName() + " going to sleep: light off");
    engine_->lightOffNow();
}

void AppModel::didWake() { engine_->didWake(); }

void AppModel::quit(const std::string& how) {
    finish(how);
    QCoreApplication::quit();
}

void AppModel::finish(const std::string& how) {
    if (!ending_) Log::write("Tally quits (" + how + ")");
    ending_ = true;
    engine_->finish();
}

}  // namespace tally
