#pragma once

#include <array>
#include <string_view>

#include <QObject>

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
    void quitTally();
    void viewLog();

    AppModel& model_;
    QAction* teams_;
    QAction* light_;
    QAction* privacy_;
    std::array<QAction*, 4> brightness_{};
    QAction* pause_;
    QAction* anyCall_;
    QAction* startAtLogin_;
    QAction* quit_;
};

}  // namespace tally
