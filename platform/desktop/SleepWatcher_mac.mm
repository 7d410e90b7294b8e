#include "SleepWatcher.h"

#import <AppKit/AppKit.h>

namespace tally::platform {

namespace {

// Removes the observers when the watching ends. Sleep and wake come from the workspace; the
// screen's lock from the distributed notifications "com.apple.screenIsLocked" and
// "com.apple.screenIsUnlocked", which the login window posts.
class WorkspaceSleepWatcher : public QObject {
public:
    WorkspaceSleepWatcher(std::function<void()> willSleep, std::function<void()> didWake,
                          std::function<void(bool)> lockChanged) {
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
        if (lockChanged) {
            NSDistributedNotificationCenter* screen = [NSDistributedNotificationCenter defaultCenter];
            auto lock = std::move(lockChanged);
            lockObserver_ = [screen addObserverForName:@"com.apple.screenIsLocked"
                                                object:nil
                                                 queue:[NSOperationQueue mainQueue]
                                            usingBlock:^(NSNotification*) { lock(true); }];
            unlockObserver_ = [screen addObserverForName:@"com.apple.screenIsUnlocked"
                                                  object:nil
                                                   queue:[NSOperationQueue mainQueue]
                                              usingBlock:^(NSNotification*) { lock(false); }];
        }
    }
    ~WorkspaceSleepWatcher() override {
        NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
        [center removeObserver:sleepObserver_];
        [center removeObserver:wakeObserver_];
        if (lockObserver_) {
            NSDistributedNotificationCenter* screen = [NSDistributedNotificationCenter defaultCenter];
            [screen removeObserver:lockObserver_];
            [screen removeObserver:unlockObserver_];
        }
    }

private:
    id sleepObserver_;
    id wakeObserver_;
    id lockObserver_ = nil;
    id unlockObserver_ = nil;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    SleepLog, std::function<void(bool)> lockChanged) {
    return std::make_unique<WorkspaceSleepWatcher>(std::move(willSleep), std::move(didWake),
                                                   std::move(lockChanged));
}

}  // namespace tally::platform
