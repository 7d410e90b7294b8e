#include "Lights.h"

#include <algorithm>
#include <set>

namespace tally::lights {

namespace {

std::string hidFailure(platform::HidOpenFailure failure) {
    switch (failure) {
        case platform::HidOpenFailure::noPermission:
            return "permission denied; " + platform::serialPermissionHint();
        case platform::HidOpenFailure::inUse: return "in use by another Tally";
        default: return "cannot be opened";
    }
}

std::string serialFailure(platform::SerialOpenFailure failure) {
    switch (failure) {
        case platform::SerialOpenFailure::noPermission:
            return "permission denied; " + platform::serialPermissionHint();
        case platform::SerialOpenFailure::inUse: return "in use by another program";
        case platform::SerialOpenFailure::missing: return "no such port";
        case platform::SerialOpenFailure::notADevice: return "not a serial port";
        default: return "cannot be opened";
    }
}

}  // namespace

Lights::Lights(std::unique_ptr<LightDevice> own, std::optional<NamedPort> named, bool lookForOthers,
               LogCallback log, UptimeClock clock, Services services)
    : own_(std::move(own)),
      named_(std::move(named)),
      lookForOthers_(lookForOthers && !named_),
      log_(std::move(log)),
      clock_(std::move(clock)),
      services_(std::move(services)) {}

void Lights::show(LightState state) {
    state_ = state;
    if (own_) own_->show(state);
}

void Lights::setBrightness(int value) {
    brightness_ = value;
    if (own_) own_->setBrightness(value);
}

bool Lights::driving(const std::string& path) const {
    return std::any_of(lights_.begin(), lights_.end(), [&](const auto& light) { return light->path() == path; });
}

void Lights::block(const std::string& path, const std::string& why) {
    auto& said = blocked_[path];
    if (said == why) return;
    said = why;
    log_(why.substr(0, why.find(':')) + " at " + path + why.substr(why.find(':')));
}

void Lights::open(const std::string& path, std::string_view name, Kind kind) {
    std::unique_ptr<LightTransport> transport;
    if (transportOf(kind) == Transport::hid) {
        platform::HidOpenFailure failure{};
        if (auto link = services_.openHid(path, failure)) transport = hidTransport(std::move(link));
        else return block(path, std::string(name) + ": " + hidFailure(failure));
    } else {
        platform::SerialOpenFailure failure{};
        if (auto link = services_.openSerial(path, failure)) transport = serialTransport(std::move(link));
        else return block(path, std::string(name) + ": " + serialFailure(failure));
    }
    blocked_.erase(path);
    log_("light connected: " + std::string(name) + " at " + path);
    lights_.push_back(std::make_unique<MakerLight>(std::string(name), path, makeKind(kind), std::move(transport)));
}

void Lights::lookForLights(double now) {
    if (now < nextLook_) return;
    nextLook_ = now + lookEvery;
    if (named_) {
        if (lights_.empty()) open(named_->path, makerName(named_->kind), named_->kind);
        return;
    }
    if (!lookForOthers_) return;
    std::set<std::string> present;
    for (const auto& device : services_.listHid()) {
        const auto known = knownLight({device.vendorId, device.productId});
        if (!known || transportOf(known->kind) != Transport::hid) continue;
        present.insert(device.path);
        if (driving(device.path)) continue;
        // Luxafor's lights share one identity and say which they are in their product string.
        const std::string name = known->kind == Kind::luxafor && !device.product.empty() ? device.product
                                                                                          : std::string(known->name);
        open(device.path, name, known->kind);
    }
    std::vector<platform::UsbId> serialIds;
    for (const KnownLight& light : knownLights())
        if (transportOf(light.kind) == Transport::serial) serialIds.push_back(light.id);
    for (const auto& port : services_.findSerial(serialIds)) {
        present.insert(port.path);
        if (driving(port.path)) continue;
        if (const auto known = knownLight(port.id)) open(port.path, known->name, known->kind);
    }
    // A light unplugged while it could not be opened is no longer a problem to show.
    std::erase_if(blocked_, [&](const auto& entry) { return !present.contains(entry.first); });
}

void Lights::update() {
    if (own_) own_->update();
    const double now = clock_();
    if (!firstLook_) firstLook_ = now;
    lookForLights(now);
    const Sight sight = sightOf(palette_[static_cast<std::size_t>(state_)], brightness_);
    std::erase_if(lights_, [&](const auto& light) {
        if (light->update(sight, now)) return false;
        log_("light lost: " + light->name() + " at " + light->path());
        return true;
    });
    // Once, until a light turns up: that Tally looks, and finds nothing.
    const bool any = isConnected() || !lights_.empty();
    if (any) toldNone_ = false;
    else if (!toldNone_ && !problem() && blocked_.empty() && now >= *firstLook_ + lookEvery) {
        toldNone_ = true;
        log_("no light found: Tally looks for its own light and the busylights it knows every few seconds");
    }
}

void Lights::switchOffNow() {
    if (own_) own_->switchOffNow();
    std::erase_if(lights_, [](const auto& light) { return !light->switchOff(); });
}

void Lights::invalidate() {
    if (own_) own_->invalidate();
    for (const auto& light : lights_) light->invalidate();
}

void Lights::setPalette(const Palette& palette) {
    palette_ = palette;
    if (own_) own_->setPalette(palette);
}

std::optional<std::string> Lights::firmwareVersion() const {
    return own_ ? own_->firmwareVersion() : std::nullopt;
}

std::vector<std::string> Lights::otherLights() const {
    std::vector<std::string> names;
    for (const auto& light : lights_) names.push_back(light->name());
    return names;
}

std::vector<std::string> Lights::blockedLights() const {
    std::vector<std::string> why;
    for (const auto& [path, said] : blocked_) why.push_back(said.substr(0, said.find(';')));
    return why;
}

}  // namespace tally::lights
