#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QString>
#include <QStringList>

#include "Engine.h"
#include "LightState.h"

namespace tally {

// Between the engine and the menu: reads the switches and the saved brightness, builds the
// light, the source and the engine, republishes each snapshot as properties (announcing only
// real changes), and carries the user's choices to the engine and the system. Main thread only.
class AppModel : public QObject {
    Q_OBJECT
public:
    struct Switches {
        bool dryRun = false;
        bool simulate = false;
        std::optional<std::string> port;
        bool operator==(const Switches&) const = default;
    };
    // Every argument is looked at, the program's path included; unknown ones are ignored.
    static Switches parseSwitches(const QStringList& arguments);

    struct Options {
        QStringList arguments;
        // Asks "Start Tally at login?"; true for "Add".
        std::function<bool()> confirmStartAtLogin;
        // Off in tests that have no business with the machine's sleep.
        bool watchSleep = true;
    };

    explicit AppModel(Options options, QObject* parent = nullptr);
    ~AppModel() override;

    LightState state() const { return state_; }
    const QString& lightStatus() const { return lightStatus_; }
    bool logsReadable() const { return logsReadable_; }
    bool paused() const { return paused_; }
    int brightness() const { return brightness_; }
    bool startAtLogin() const { return startAtLogin_; }
    Engine& engine() { return *engine_; }
    const Switches& switches() const { return switches_; }

    void setPaused(bool paused);
    // Saves the value and tells the engine.
    void setBrightness(int brightness);
    // Turning on asks first; the switch then shows what the system settled on.
    void setStartAtLogin(bool on);

    // What happens before the machine sleeps and after it wakes.
    void willSleep();
    void didWake();
    // The light off for good, before the application ends (quit, a signal, the session's end).
    void finish();

signals:
    void stateChanged();
    void lightStatusChanged();
    void logsReadableChanged();
    void pausedChanged();
    void brightnessChanged();
    void startAtLoginChanged();

private:
    void apply(const Engine::Snapshot& snapshot);
    void publishStartAtLogin(bool value);

    Switches switches_;
    std::function<bool()> confirmStartAtLogin_;
    LightState state_ = LightState::unknown;
    QString lightStatus_;
    bool logsReadable_ = true;
    bool paused_ = false;
    int brightness_ = 100;
    bool startAtLogin_ = false;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<QObject> sleepWatcher_;
};

}  // namespace tally
