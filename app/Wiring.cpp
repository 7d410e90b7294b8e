#include "Wiring.h"

#include "Log.h"
#include "SleepWatcher.h"

namespace tally::Wiring {

namespace {

void logLine(const std::string& message) { Log::write(message); }

}  // namespace

AppModel::EngineFactory engineFor(const Switches& switches, const Services& services) {
    return [switches, isTeamsRunning = services.isTeamsRunning, watchCapture = services.watchCapture](
               int brightness, Engine::UpdateCallback onUpdate) {
        std::unique_ptr<LightDevice> device;
        if (!switches.dryRun) {
            device = std::make_unique<LightDevice>(switches.port, logLine);
            device->setBrightness(brightness);
        }
        Engine::SourceFactory makeSource;
        if (switches.simulate)
            makeSource = [] { return std::make_unique<SimulatedSource>(4); };
        else
            makeSource = [isTeamsRunning, watchCapture] {
                logLine("following the Teams logs in " + teamsLogDirectory());
                auto source = std::make_unique<LogPresenceSource>(LogTailer(teamsLogDirectory()),
                                                                  isTeamsRunning, logLine);
                // Shared with the source's question, so that watching ends with the source.
                std::shared_ptr<platform::CaptureWatch> capture = watchCapture(logLine);
                if (capture) source->setCaptureInUse([capture] { return capture->inUse(); });
                return source;
            };
        return std::make_unique<Engine>(std::move(makeSource), std::move(device), std::move(onUpdate),
                                        logLine);
    };
}

std::unique_ptr<AppModel> model(const Switches& switches, Services services) {
    return std::make_unique<AppModel>(switches, engineFor(switches, services),
                                      std::move(services.confirmStartAtLogin),
                                      std::move(services.loginItem));
}

std::unique_ptr<QObject> watchSleep(AppModel& model) {
    return platform::watchSleep([&model] { model.willSleep(); }, [&model] { model.didWake(); },
                                logLine);
}

}  // namespace tally::Wiring
