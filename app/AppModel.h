#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "CommandLine.h"
#include "Engine.h"
#include "LightState.h"
#include "LoginItem.h"
#include "Settings.h"
#include "WorkingHours.h"

namespace tally {

// The view-model between the engine and the menu: republishes each snapshot as properties
// (announcing only real changes), and carries the user's choices to the engine and the system.
// What it drives is built for it (Wiring.h). Main thread only.
class AppModel : public QObject {
    Q_OBJECT
public:
    // Makes the engine, its light set to the starting brightness, reporting to `onUpdate`.
    using EngineFactory = std::function<std::unique_ptr<Engine>(int brightness, Engine::UpdateCallback onUpdate)>;

    // Reads the saved settings, makes and starts the engine, writes the start line.
    // `confirmStartAtLogin` asks "Start Tally at login?"; true for "Add".
    // `loginItem` is the system's login items (a test's own in tests).
    // `watchCalls` starts or stops watching the microphones and cameras, as "Any call" asks.
    AppModel(Switches switches, const EngineFactory& makeEngine,
             std::function<bool()> confirmStartAtLogin, platform::LoginItem::Service loginItem,
             std::function<void(bool)> watchCalls, QObject* parent = nullptr);
    ~AppModel() override;

    LightState state() const { return state_; }
    const QString& lightStatus() const { return lightStatus_; }
    bool logsReadable() const { return logsReadable_; }
    bool paused() const { return paused_; }
    int brightness() const { return brightness_; }
    bool startAtLogin() const { return startAtLogin_; }
    bool anyCall() const { return anyCall_; }
    // The status set by hand while it lasts, and until when ("14:30"; empty until changed).
    std::optional<LightState> manual() const { return manual_; }
    const QString& manualUntil() const { return manualUntil_; }
    // The person's colours, as the light, the tray and the colour test show them.
    const Palette& palette() const { return palette_; }
    const Look& lookOf(LightState state) const { return palette_[static_cast<std::size_t>(state)]; }
    // What the light shows for the person's presence: the status set by hand, unless a call;
    // outside the working hours, what the person chose for them.
    LightState shown() const {
        if (darkForLock()) return LightState::off;
        if (outsideHours_) return manual_ && hours_.manualOutside ? *manual_ : hours_.outside;
        return manual_ && state_ != LightState::inCall ? *manual_ : state_;
    }
    const Switches& switches() const { return switches_; }

    void setPaused(bool paused);
    // Every colour for 1.5 seconds.
    void startTest();
    // Saves the value and tells the engine.
    void setBrightness(int brightness);
    // Turning on asks first; the switch then shows what the system settled on.
    void setStartAtLogin(bool on);
    // Whether a microphone or camera in use shows as a call; saved, and watched only while on.
    void setAnyCall(bool on);
    // "Show as": a status by hand for so many minutes, or until changed (saved, so that it
    // outlasts a restart); automatic() goes back to the logs and calls.
    void showAs(LightState state, std::optional<int> minutes);
    void automatic();
    // A state's colour and whether it pulses (off cannot be changed); saved. restorePalette()
    // goes back to Tally's own colours.
    void setLook(LightState state, Look look);
    void restorePalette();
    // The working hours; saved, and the engine's from now on.
    const WorkingHours& hours() const { return hours_; }
    void setHours(const WorkingHours& hours);
    // Outside the working hours now (the engine's last word).
    bool outsideHours() const { return outsideHours_; }
    // "Dark while the screen is locked": saved; and the screen's lock as the system tells it.
    bool darkWhenLocked() const { return darkWhenLocked_; }
    void setDarkWhenLocked(bool on);
    void screenLockChanged(bool locked);
    bool darkForLock() const { return darkWhenLocked_ && screenLocked_; }
    // Programs whose microphone or camera is no call ("Never count NAME as a call"); saved.
    const std::vector<std::string>& neverCalls() const { return neverCalls_; }
    void setNeverCall(const std::string& program, bool never);
    // The programs using a microphone or camera now, while "Any call" is on.
    std::vector<std::string> callPrograms() const { return callPrograms_ ? callPrograms_() : std::vector<std::string>{}; }
    // How the model reads the watcher's programs and tells it the ones to ignore (Wiring.h).
    void useCallPrograms(std::function<std::vector<std::string>()> programs,
                         std::function<void(std::vector<std::string>)> ignore);

    // What happens before the machine sleeps and after it wakes.
    void willSleep();
    void didWake();
    // Ends Tally: says in the activity log how (the first reason given wins), switches the light
    // off for good and asks the application to quit.
    void quit(const std::string& how);
    // The same without asking to quit, for an application that is ending already (the
    // session's end).
    void finish(const std::string& how);

signals:
    void stateChanged();
    void lightStatusChanged();
    void logsReadableChanged();
    void pausedChanged();
    void brightnessChanged();
    void startAtLoginChanged();
    void anyCallChanged();
    void manualChanged();
    void paletteChanged();
    void neverCallsChanged();
    void hoursChanged();

private:
    void apply(const Engine::Snapshot& snapshot);
    void publishStartAtLogin(bool value);

    Switches switches_;
    std::function<bool()> confirmStartAtLogin_;
    platform::LoginItem::Service loginItem_;
    std::function<void(bool)> watchCalls_;
    Settings settings_;
    LightState state_ = LightState::unknown;
    QString lightStatus_;
    bool logsReadable_ = true;
    bool paused_ = false;
    int brightness_ = 100;
    bool startAtLogin_ = false;
    bool anyCall_ = true;
    std::optional<LightState> manual_;
    QString manualUntil_;
    Palette palette_ = defaultPalette();
    std::vector<std::string> neverCalls_;
    WorkingHours hours_;
    bool outsideHours_ = false;
    bool darkWhenLocked_ = false;
    bool screenLocked_ = false;
    std::function<std::vector<std::string>()> callPrograms_;
    std::function<void(std::vector<std::string>)> ignoreCalls_;
    int manualChanges_ = 0;  // setManual() calls made, to tell a snapshot from before the last
    bool ending_ = false;
    std::unique_ptr<Engine> engine_;
};

// The tray's tooltip: the state shown and where it came from ("Teams: Busy", "Busy: set by hand
// until 14:30", "Paused").
QString trayToolTip(const AppModel& model);

}  // namespace tally
