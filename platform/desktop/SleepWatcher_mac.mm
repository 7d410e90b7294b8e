#include "SleepWatcher.h"

#import <AppKit/AppKit.h>

namespace tally::platform {

namespace {

// Removes the observers when the watching ends.
class WorkspaceSleepWatcher : public QObject {
public:
    WorkspaceSleepWatcher(std::function<void()> willSleep, std::function<void()> didWake) {
        NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
        auto sleep = std::move(willSleep);
        auto wake = std::move(didWake);
        sleepObserver_ = [center addObserverForName:NSWorkspaceWillSleepNotification
                                             object:nil
                                              queue:[NSOperationQueue mainQueue]
                                         usingBlock:^(NSNotification*) { sleep(); }];
        wakeObserver_ = [center addObserverForName:NSWorkspaceDidWakeNotification
                                            object:nil
                                             queue:[NSOperationQueue mainQueue]
                                        usingBlock:^(NSNotification*) { wake(); }];
    }
    ~WorkspaceSleepWatcher() override {
        NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
        [center removeObserver:sleepObserver_];
        [center removeObserver:wakeObserver_];
    }

private:
    id sleepObserver_;
    id wakeObserver_;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    SleepLog) {
    return std::make_unique<WorkspaceSleepWatcher>(std::move(willSleep), std::move(didWake));
}

}  // namespace tally::platform
