#pragma once

#include <array>
#include <string_view>
#include <utility>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "LightState.h"

class QAction;
class QMenu;

namespace tally {

class AppModel;

// The tray menu: the Teams and light lines, the privacy shortcut while the logs cannot be read,
// brightness, pause, whether any call counts, the colour test, start at login, the activity
// log and quit. It holds no state of its own: each entry follows the model's announcements.
class MenuContent : public QObject {
    Q_OBJECT
public:
    static constexpr std::array<int, 4> brightnessOptions{25, 50, 75, 100};
    // Below "Pause light": checked, a microphone or camera in use shows as a call.
    static constexpr std::string_view anyCallItem = "Any call (microphone or camera in use)";
    // The states a person may set by hand, in the "Show as" submenu, and for how long.
    static constexpr std::array<LightState, 5> manualStates{LightState::available, LightState::busy, LightState::dnd,
                                                            LightState::away, LightState::off};
    static constexpr std::array<std::pair<std::string_view, int>, 2> manualTimes{
        {{"For 30 minutes", 30}, {"For 1 hour", 60}}};
    static constexpr std::string_view untilChangedItem = "Until changed";
    static constexpr std::string_view endOfDayItem = "Until the end of the working day";

    MenuContent(AppModel& model, QMenu& menu);

    QAction* quitAction() const { return quit_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showState();
    void showLight();
    void showLogsReadable();
    void showBrightness();
    void showStartAtLogin();
    void showAnyCall();
    void showManual();
    // The "Any call" submenu as it is now: on or off, the programs in use, the ones never counted.
    void fillAnyCall();
    void quitTally();
    void viewLog();
    void showPreferences();

    AppModel& model_;
    QAction* teams_;
    QAction* light_;
    QAction* privacy_;
    std::array<QAction*, 4> brightness_{};
    QAction* pause_;
    QMenu* anyCallMenu_;
    QAction* anyCall_;
    QMenu* showAs_;
    QAction* automatic_;
    std::array<QMenu*, manualStates.size()> manualMenus_{};
    std::array<QAction*, manualStates.size()> endOfDay_{};
    QAction* startAtLogin_;
    QAction* quit_;
    QPointer<QWidget> preferences_;  // the one window, while it is open
};

}  // namespace tally
