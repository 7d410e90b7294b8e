// The engine driving other makers' lights, measured over real time: the CPU the lookups for
// lights cost, a Kuando kept alive, and a blink(1) whose pulse the host times. The devices are
// looked for on this machine as the application does; the lights themselves are simulated.
//   lights-probe off|hours|none|kuando|pulse SECONDS
//     off     no lights at all (the engine alone, for comparison)
//     hours   the same with working hours on and a status set by hand for an hour
//     none    the application's lookups every two seconds, nothing found
//     kuando  the same and a Kuando showing busy, kept alive every ten seconds
//     pulse   the same and a blink(1) showing a call, pulsed by the host
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "Engine.h"
#include "Lights.h"
#include "ProcessUsage.h"
#include "support/SimulatedLights.h"

using namespace tally;
using lights::Kind;

namespace {

class Fixed final : public PresenceSource {
public:
    explicit Fixed(LightState state) : state_(state) {}
    LightState poll() override { return state_; }

private:
    LightState state_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
    if (mode != "off" && mode != "hours" && mode != "none" && mode != "kuando" && mode != "pulse") {
        std::fprintf(stderr, "usage: lights-probe off|hours|none|kuando|pulse SECONDS\n");
        return 2;
    }
    const Kind kind = mode == "pulse" ? Kind::blink1 : Kind::kuando;
    auto light = test::simulatedLight(kind);
    test::SimulatedPlug plug{kind, *light, uptimeNow};
    plug.unplugged = mode != "kuando" && mode != "pulse";
    // The machine's own devices, with the simulated light among them.
    lights::LightServices real;
    lights::LightServices services = plug.services();
    services.listHid = [real, simulated = services.listHid] {
        auto devices = real.listHid();
        for (auto& device : simulated()) devices.push_back(device);
        return devices;
    };
    services.findSerial = real.findSerial;

    std::unique_ptr<Light> device;
    if (mode != "off" && mode != "hours") device = std::make_unique<lights::Lights>(nullptr, std::nullopt, true, [](const std::string&) {},
                                                                 uptimeNow, services);
    const LightState shown = mode == "pulse" ? LightState::inCall : LightState::busy;
    Engine engine([shown] { return std::make_unique<Fixed>(shown); }, std::move(device),
                  [](const Engine::Snapshot&) {}, [](const std::string&) {});
    if (mode == "hours") {
        WorkingHours hours;
        hours.on = true;
        engine.setHours(hours);
        engine.setManual(Engine::ManualStatus{LightState::dnd, 3600.0});
    }
    engine.start();
    std::this_thread::sleep_for(std::chrono::seconds(3));  // found, and the first reports sent
    const int reportsBefore = light->reports();
    const double cpuBefore = bench::cpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = bench::cpuSeconds() - cpuBefore;
    std::printf("%s over %.0f s: %.1f ms of CPU (%.3f%% of one core), %d reports sent, %zu problems\n",
                mode.c_str(), seconds, cpu * 1000, cpu * 100 / seconds, light->reports() - reportsBefore,
                light->problems().size());
    return 0;
}
