#include "MakerLight.h"

#include "HidDevices.h"
#include "SerialLink.h"

namespace tally::lights {

namespace {

class HidTransport final : public LightTransport {
public:
    explicit HidTransport(std::unique_ptr<platform::HidLink> link) : link_(std::move(link)) {}
    bool send(const Report& report) override {
        return report.via == Report::Via::feature ? link_->sendFeature(report.bytes) : link_->write(report.bytes);
    }

private:
    std::unique_ptr<platform::HidLink> link_;
};

class SerialTransport final : public LightTransport {
public:
    explicit SerialTransport(std::unique_ptr<platform::SerialLink> link) : link_(std::move(link)) {}
    bool send(const Report& report) override {
        // What the light says back ("OK") is not waited for; it is read away so that it never
        // fills the line.
        std::string answer;
        while (link_->read(answer, 256, 0) && answer.size() < 4096) {
        }
        return link_->write(report.bytes);
    }

private:
    std::unique_ptr<platform::SerialLink> link_;
};

}  // namespace

std::unique_ptr<LightTransport> hidTransport(std::unique_ptr<platform::HidLink> link) {
    return std::make_unique<HidTransport>(std::move(link));
}

std::unique_ptr<LightTransport> serialTransport(std::unique_ptr<platform::SerialLink> link) {
    return std::make_unique<SerialTransport>(std::move(link));
}

MakerLight::MakerLight(std::string name, std::string path, std::unique_ptr<LightKind> kind,
                       std::unique_ptr<LightTransport> transport)
    : name_(std::move(name)), path_(std::move(path)), kind_(std::move(kind)), transport_(std::move(transport)) {}

bool MakerLight::send(const Reports& reports) {
    for (const Report& report : reports)
        if (!transport_->send(report)) return false;
    return true;
}

Sight MakerLight::due(const Sight& sight, double now) {
    if (!sight.pulse || sight.dark() || kind_->pulsesByItself()) {
        pulsing_.reset();
        return sight;
    }
    const double half = sight.periodMs / 2000.0;
    if (pulsing_ != sight) {
        pulsing_ = sight;
        halfStarted_ = now;
        litHalf_ = true;
    } else if (now - halfStarted_ >= half) {
        litHalf_ = !litHalf_;
        halfStarted_ = now;
    }
    Sight step;
    step.colour = litHalf_ ? sight.colour : Colour{};
    step.brightness = sight.brightness;
    step.fadeMs = sight.periodMs / 2;
    return step;
}

bool MakerLight::update(const Sight& sight, double now) {
    if (!opened_) {
        if (!send(kind_->opening())) return false;
        opened_ = true;
        lastKeepAlive_ = now;
    }
    const Sight target = due(sight, now);
    if (sent_ != target) {
        if (!send(kind_->show(target))) return false;
        sent_ = target;
    }
    if (kind_->keepAliveSeconds() > 0 && now - lastKeepAlive_ >= kind_->keepAliveSeconds()) {
        if (!send(kind_->keepAlive())) return false;
        lastKeepAlive_ = now;
    }
    return true;
}

bool MakerLight::switchOff() {
    const Sight dark{};
    pulsing_.reset();
    if (!send(kind_->show(dark))) return false;
    sent_ = dark;
    return true;
}

}  // namespace tally::lights
