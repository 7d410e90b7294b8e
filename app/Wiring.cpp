#include "Wiring.h"

#include "Desktop.h"
#include "Lights.h"
#include "Log.h"
#include "SleepWatcher.h"

namespace tally::Wiring {

namespace {

void logLine(const std::string& message) { Log::write(message); }

}  // namespace

AppModel::EngineFactory engineFor(const Switches& switches, const Services& services,
                                  std::function<bool()> inCall) {
    return [switches, isTeamsRunning = services.isTeamsRunning, inCall](int brightness,
                                                                         Engine::UpdateCallback onUpdate) {
        std::unique_ptr<Light> device;
        if (!switches.dryRun) {
            // A port of another kind drives that light alone; any other way Tally's own light
            // is looked for (or on the port given) beside every other maker's light plugged in.
            const auto otherKind = lights::serialKindNamed(switches.lightKind.value_or(""));
            std::optional<lights::Lights::NamedPort> named;
            std::unique_ptr<LightDevice> own;
            if (otherKind) named = lights::Lights::NamedPort{*otherKind, *switches.port};
            else own = std::make_unique<LightDevice>(switches.port, logLine);
            device = std::make_unique<lights::Lights>(std::move(own), std::move(named), !switches.port, logLine);
            device->setBrightness(brightness);
        }
        Engine::SourceFactory makeSource = [simulate = switches.simulate, isTeamsRunning, inCall] {
            std::unique_ptr<PresenceSource> source;
            if (simulate) {
                source = std::make_unique<SimulatedSource>(4);
            } else {
                logLine("following the Teams logs in " + teamsLogDirectory());
                if (const std::string note = platform::Desktop::teamsFolderNote(); !note.empty()) logLine(note);
                source = std::make_unique<LogPresenceSource>(LogTailer(teamsLogDirectory()), isTeamsRunning, logLine);
            }
            return std::make_unique<SourceWithCalls>(std::move(source), inCall);
        };
        return std::make_unique<Engine>(std::move(makeSource), std::move(device), std::move(onUpdate),
                                        logLine);
    };
}

std::unique_ptr<AppModel> model(const Switches& switches, Services services) {
    // Shared by the source, which asks it every tick, and the model, which turns it on and off.
    auto calls = std::make_shared<CallWatch>(std::move(services.watchCapture), logLine);
    auto model = std::make_unique<AppModel>(switches, engineFor(switches, services, [calls] { return calls->inCall(); }),
                                            std::move(services.confirmStartAtLogin),
                                            std::move(services.loginItem), [calls](bool on) { calls->setOn(on); });
    model->useCallPrograms([calls] { return calls->users(); },
                           [calls](std::vector<std::string> programs) { calls->setIgnored(std::move(programs)); });
    return model;
}

std::unique_ptr<QObject> watchSleep(AppModel& model) {
    return platform::watchSleep([&model] { model.willSleep(); }, [&model] { model.didWake(); },
                                logLine, [&model](bool locked) { model.screenLockChanged(locked); });
}

}  // namespace tally::Wiring
