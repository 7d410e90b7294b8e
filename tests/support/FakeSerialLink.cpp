#include "FakeSerialLink.h"

#include <algorithm>

namespace tally::test {

LightDevice::PortOpener FakeLight::opener() {
    return [this](const std::string&, platform::SerialOpenFailure& failure)
               -> std::unique_ptr<platform::SerialLink> {
        failure = openFailure;
        if (openFailure != platform::SerialOpenFailure::none) return nullptr;
        ++opened;
        return std::make_unique<FakeSerialLink>(*this);
    };
}

std::string FakeLight::answerTo(const std::string& line) const {
    switch (fault) {
        case Fault::silent:
        case Fault::vanished: return {};
        case Fault::babbling: return std::string(LightDevice::maxBufferedBytes * 4, 'x');
        case Fault::burst: return "OK\nOK\nOK\n";
        default: break;
    }
    if (line == "PING" && fault != Fault::refuseHandshake)
        return version.empty() ? "PONG\n" : "PONG " + version + "\n";
    return answer + "\n";
}

bool FakeSerialLink::write(std::string_view bytes) {
    if (light_.fault == FakeLight::Fault::vanished) return false;
    pending_ += bytes;
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        light_.received.push_back(line);
        light_.unsent += light_.answerTo(line);
        if (light_.fault == FakeLight::Fault::late) light_.lateWaits = 1;
    }
    return true;
}

bool FakeSerialLink::read(std::string& into, std::size_t max, double) {
    if (light_.unsent.empty() || light_.fault == FakeLight::Fault::vanished) return false;
    if (light_.lateWaits > 0) {  // this wait ends empty; the answer comes with the next line's
        --light_.lateWaits;
        return false;
    }
    const std::size_t n = std::min(max, light_.unsent.size());
    into.append(light_.unsent, 0, n);
    light_.unsent.erase(0, n);
    return true;
}

}  // namespace tally::test
