#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QIcon>
#include <QObject>
#include <QStringList>

#include "AppModel.h"

class QMenu;
class QSystemTrayIcon;

namespace tally {

// The application: one tray item whose icon is the state's emoji and whose menu is the
// MenuContent; no window. Without a tray it runs on (engine, light and activity log) and says so
// once in the activity log.
class TallyApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        Switches switches;
        std::function<bool()> confirmStartAtLogin;  // asks "Start Tally at login?"
    };
    explicit TallyApp(Options options, QObject* parent = nullptr);
    ~TallyApp() override;

    AppModel& model() { return *model_; }
    QMenu& menu() { return *menu_; }

    // Another start of Tally asked this one to show itself: it says so where the desktop can.
    void showYourself();

    // The tray icon of a state in Tally's own colours.
    static QIcon iconFor(LightState state);

private:
    void showState();

    std::unique_ptr<AppModel> model_;
    std::unique_ptr<QObject> sleepWatcher_;
    std::unique_ptr<QMenu> menu_;  // owns the MenuContent
    std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace tally
