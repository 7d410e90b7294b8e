#include "Wiring.h"

#include "Log.h"
#include "SleepWatcher.h"

namespace tally::Wiring {

namespace {

void logLine(const std::string& message) { Log::write(message); }

}  // namespace

AppModel::EngineFactory engineFor(const Switches& switches, std::function<bool()> isTeamsRunning) {
    return [switches, isTeamsRunning](int brightness, Engine::UpdateCallback onUpdate) {
        std::unique_ptr<LightDevice> device;
        if (!switches.dryRun) {
            device = std::make_unique<LightDevice>(switches.port, logLine);
            device->setBrightness(brightness);
        }
        Engine::SourceFactory makeSource;
        if (switches.simulate)
            makeSource = [] { return std::make_unique<SimulatedSource>(4); };
        else
            makeSource = [isTeamsRunning] {
                logLine("following the Teams logs in " + teamsLogDirectory());
                return std::make_unique<LogPresenceSource>(LogTailer(teamsLogDirectory()),
                                                           isTeamsRunning, logLine);
            };
        return std::make_unique<Engine>(std::move(makeSource), std::move(device), std::move(onUpdate),
                                        logLine);
    };
}

std::unique_ptr<AppModel> model(const Switches& switches, Services services) {
    return std::make_unique<AppModel>(switches, engineFor(switches, std::move(services.isTeamsRunning)),
                                      std::move(services.confirmStartAtLogin),
                                      std::move(services.loginItem));
}

std::unique_ptr<QObject> watchSleep(AppModel& model) {
    return platform::watchSleep([&model] { model.willSleep(); }, [&model] { model.didWake(); },
                                logLine);
}

}  // namespace tally::Wiring
