#include "SimulatedLights.h"

#include <cstdio>
#include <deque>
#include <utility>

namespace tally::test {

using lights::Kind;
using lights::Report;

namespace {

int at(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

Seen rgb(int r, int g, int b) { return {r || g || b, r, g, b, false, false}; }
bool same(const Seen& a, const Seen& b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

// A light whose pulse the host times is seen pulsing when it went between lit and dark twice
// or more in the last few seconds; its colour is the lit one.
class Timeline {
public:
    void record(double now, Seen seen) {
        events_.emplace_back(now, seen);
        while (events_.size() > 64) events_.pop_front();
    }
    // Pulsing: lit twice or more in the last five seconds, one colour, dark in between, and the
    // last change not long ago (a host-timed half pulse is at most two seconds).
    Seen seen(double now) const {
        if (events_.empty()) return {};
        const Seen& last = events_.back().second;
        std::optional<Seen> lit;
        int litTimes = 0;
        double lastChange = -1e300;
        for (std::size_t i = events_.size(); i-- > 0 && events_[i].first >= now - 5;) {
            const Seen& one = events_[i].second;
            if (one.lit && lit && !same(one, *lit)) break;
            const bool changed = i == 0 || one.lit != events_[i - 1].second.lit;
            // A lit run begins here if what came before was dark, another colour, or too long ago.
            const bool litRun = one.lit && (i == 0 || !events_[i - 1].second.lit ||
                                            events_[i - 1].first < now - 5 || !same(events_[i - 1].second, one));
            if (one.lit) lit = one;
            if (litRun) ++litTimes;
            if (changed) lastChange = std::max(lastChange, events_[i].first);
        }
        if (litTimes < 2 || !lit || now - lastChange > 2.5) return last;
        Seen pulse = *lit;
        pulse.pulsing = true;
        return pulse;
    }

private:
    std::deque<std::pair<double, Seen>> events_;
};


// Luxafor: output report 0 and 8 bytes; 1 = solid (LED, R, G, B); 3 = strobe (LED, R, G, B,
// speed, 0, repeat; repeat 0 = until the next command).
class Luxafor final : public SimulatedLight {
public:
    void receive(double, Report::Via via, std::string_view b) override {
        ++reports_;
        if (via != Report::Via::output || b.size() != 9 || at(b, 0) != 0) return problem("not an 8-byte output report");
        if (at(b, 2) != 0xFF) problem("not every LED");
        if (at(b, 1) == 1) seen_ = rgb(at(b, 3), at(b, 4), at(b, 5));
        else if (at(b, 1) == 3) {
            seen_ = rgb(at(b, 3), at(b, 4), at(b, 5));
            seen_.pulsing = at(b, 8) == 0 && at(b, 6) > 0;
            if (at(b, 8) != 0) problem("a strobe that ends");
        } else problem("an unknown command");
    }
    Seen seen(double) const override { return seen_; }

private:
    Seen seen_;
};

// Embrava: 9 bytes, report id 0, red, blue, green, control (bit 5 flash, 4-2 speed), 0, 0, FF, 22.
class Embrava final : public SimulatedLight {
public:
    void receive(double, Report::Via via, std::string_view b) override {
        ++reports_;
        if (via != Report::Via::output || b.size() != 9 || at(b, 0) != 0) return problem("not a 9-byte output report");
        if (at(b, 7) != 0xFF || at(b, 8) != 0x22) problem("a wrong trailer");
        seen_ = rgb(at(b, 1), at(b, 3), at(b, 2));
        const int control = at(b, 4);
        seen_.pulsing = (control & 0x20) != 0;
        if (seen_.pulsing && ((control >> 2) & 7) == 0) problem("a flash without a speed");
        if (control & 0x80) seen_ = {};
    }
    Seen seen(double) const override { return seen_; }

private:
    Seen seen_;
};

// Kuando: report id 0 and 64 bytes; step 0 is a jump (0x1n: colours 0-100, on and off times in
// tenths) or a keep-alive (0x8t: no change, dark unless another comes within t seconds); bytes
// 62 and 63 are the sum of bytes 0 to 61, high byte first.
class Kuando final : public SimulatedLight {
public:
    void receive(double now, Report::Via via, std::string_view b) override {
        ++reports_;
        if (via != Report::Via::output || b.size() != 65 || at(b, 0) != 0) return problem("not a 64-byte output report");
        const std::string_view data = b.substr(1);
        unsigned sum = 0;
        for (std::size_t i = 0; i < 62; ++i) sum += at(data, i);
        if (((sum >> 8) & 0xFF) != static_cast<unsigned>(at(data, 62)) || (sum & 0xFF) != static_cast<unsigned>(at(data, 63)))
            return problem("a wrong checksum");
        const int command = at(data, 0);
        if ((command & 0xF0) == 0x80) {
            darkAfter_ = now + (command & 0x0F);
        } else if ((command & 0xF0) == 0x10) {
            const auto full = [](int percent) { return percent * 255 / 100; };
            if (at(data, 2) > 100 || at(data, 3) > 100 || at(data, 4) > 100) problem("a colour above 100");
            shown_ = rgb(full(at(data, 2)), full(at(data, 3)), full(at(data, 4)));
            shown_.pulsing = at(data, 5) > 0 && at(data, 6) > 0;
            if (at(data, 5) == 0 && shown_.lit) problem("lit for no time");
        } else {
            problem("an unknown step");
        }
    }
    Seen seen(double now) const override { return now > darkAfter_ ? Seen{} : shown_; }

private:
    Seen shown_;
    double darkAfter_ = 1e300;  // no keep-alive heard yet: no time-out either
};

// blink(1): feature report 1 and seven bytes; 'c' r g b th tl n fades, 'n' sets at once, 'D' on
// th tl st: unless tickled again within (th tl) tens of milliseconds, off (st 0).
class Blink1 final : public SimulatedLight {
public:
    void receive(double now, Report::Via via, std::string_view b) override {
        ++reports_;
        if (via != Report::Via::feature || b.size() != 8 || at(b, 0) != 1) return problem("not feature report 1");
        switch (b[1]) {
            case 'c':
            case 'n': timeline_.record(now, rgb(at(b, 2), at(b, 3), at(b, 4))); break;
            case 'D':
                tickle_ = at(b, 2) == 1 ? std::optional<double>(now + ((at(b, 3) << 8) | at(b, 4)) / 100.0) : std::nullopt;
                break;
            default: problem("an unknown command");
        }
    }
    Seen seen(double now) const override { return tickle_ && now > *tickle_ ? Seen{} : timeline_.seen(now); }

private:
    Timeline timeline_;
    std::optional<double> tickle_;
};

// MuteMe: report id 0 and one byte: colour 1-7 (red, green, yellow, blue, purple, cyan,
// white), 0 none; + 0x10 dim, + 0x20 fast pulse, + 0x30 slow pulse.
class MuteMe final : public SimulatedLight {
public:
    void receive(double, Report::Via via, std::string_view b) override {
        ++reports_;
        if (via != Report::Via::output || b.size() != 2 || at(b, 0) != 0) return problem("not a one-byte output report");
        static constexpr int palette[8][3] = {{0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                              {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        const int colour = at(b, 1) & 0x0F, effect = at(b, 1) & 0xF0;
        if (colour > 7 || effect > 0x30) return problem("an unknown value");
        seen_ = rgb(palette[colour][0], palette[colour][1], palette[colour][2]);
        seen_.dim = effect == 0x10;
        seen_.pulsing = effect == 0x20 || effect == 0x30;
    }
    Seen seen(double) const override { return seen_; }

private:
    Seen seen_;
};

// Lines of text, split as they arrive.
class TextLight : public SimulatedLight {
public:
    void receive(double now, Report::Via via, std::string_view bytes) override {
        if (via != Report::Via::text) return problem("not text");
        pending_ += bytes;
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            ++reports_;
            line(now, pending_.substr(0, end));
        }
    }

protected:
    virtual void line(double now, const std::string& text) = 0;
    static std::optional<Seen> hex(const std::string& text) {
        unsigned r = 0, g = 0, b = 0;
        char rest = 0;
        if (text.size() != 6 || std::sscanf(text.c_str(), "%2x%2x%2x%c", &r, &g, &b, &rest) != 3) return std::nullopt;
        return rgb(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
    }

private:
    std::string pending_;
};

// Busy Tag: "AT+SC=<LED bits>,<RRGGBB>", lines ending CR LF.
class BusyTag final : public TextLight {
public:
    Seen seen(double now) const override { return timeline_.seen(now); }

private:
    void line(double now, const std::string& text) override {
        if (!text.ends_with('\r')) problem("a line without CR LF");
        const std::string body = text.substr(0, text.find('\r'));
        const auto colour = body.starts_with("AT+SC=127,") ? hex(body.substr(10)) : std::nullopt;
        if (!colour) return problem("not a colour for every LED: " + body);
        timeline_.record(now, *colour);
    }
    Timeline timeline_;
};

// fit-statUSB: "#RRGGBB", "Fnnnn", "B#RRGGBB-tttt#RRGGBB-tttt...", lines ending LF.
class FitStatUsb final : public TextLight {
public:
    Seen seen(double) const override { return seen_; }

private:
    void line(double, const std::string& text) override {
        if (text.size() == 5 && text[0] == 'F') return;
        if (text.size() == 7 && text[0] == '#') {
            if (auto colour = hex(text.substr(1))) return void(seen_ = *colour);
        }
        if (text.starts_with("B#")) {
            std::vector<Seen> colours;
            for (std::size_t at = 1; at + 12 <= text.size() && text[at] == '#'; at += 12) {
                const auto colour = hex(text.substr(at + 1, 6));
                if (!colour || text[at + 7] != '-') break;
                colours.push_back(*colour);
            }
            if (colours.size() == 2 && colours[0].lit != colours[1].lit) {
                seen_ = colours[0].lit ? colours[0] : colours[1];
                seen_.pulsing = true;
                return;
            }
        }
        problem("not understood: " + text);
    }
    Seen seen_;
};

class SimulatedHid final : public platform::HidLink {
public:
    SimulatedHid(SimulatedPlug& plug) : plug_(plug) {}
    bool write(std::string_view report) override { return give(Report::Via::output, report); }
    bool sendFeature(std::string_view report) override { return give(Report::Via::feature, report); }

private:
    bool give(Report::Via via, std::string_view bytes) {
        if (plug_.unplugged) return false;
        plug_.light.receive(plug_.clock(), via, bytes);
        return true;
    }
    SimulatedPlug& plug_;
};

class SimulatedSerial final : public platform::SerialLink {
public:
    SimulatedSerial(SimulatedPlug& plug) : plug_(plug) {}
    bool write(std::string_view bytes) override {
        if (plug_.unplugged) return false;
        plug_.light.receive(plug_.clock(), Report::Via::text, bytes);
        return true;
    }
    bool read(std::string&, std::size_t, double) override { return false; }

private:
    SimulatedPlug& plug_;
};

}  // namespace

std::unique_ptr<SimulatedLight> simulatedLight(Kind kind) {
    switch (kind) {
        case Kind::luxafor: return std::make_unique<Luxafor>();
        case Kind::embrava: return std::make_unique<Embrava>();
        case Kind::kuando: return std::make_unique<Kuando>();
        case Kind::blink1: return std::make_unique<Blink1>();
        case Kind::muteMe: return std::make_unique<MuteMe>();
        case Kind::busyTag: return std::make_unique<BusyTag>();
        case Kind::fitStatUsb: return std::make_unique<FitStatUsb>();
    }
    return nullptr;
}

std::string SimulatedPlug::path() const { return "sim:" + std::string(lights::kindName(kind)); }

lights::LightServices SimulatedPlug::services() {
    platform::UsbId id;
    for (const auto& known : lights::knownLights())
        if (known.kind == kind) {
            id = known.id;
            break;
        }
    lights::LightServices services;
    const bool hid = lights::transportOf(kind) == lights::Transport::hid;
    services.listHid = [this, id, hid] {
        std::vector<platform::HidDeviceInfo> devices;
        if (hid && !unplugged) devices.push_back({path(), id.vendorId, id.productId, "", 0});
        return devices;
    };
    services.findSerial = [this, id, hid](const std::vector<platform::UsbId>& ids) {
        std::vector<platform::UsbSerialPort> ports;
        if (!hid && !unplugged && std::find(ids.begin(), ids.end(), id) != ids.end()) ports.push_back({path(), id});
        return ports;
    };
    services.openHid = [this](const std::string&, platform::HidOpenFailure& failure) -> std::unique_ptr<platform::HidLink> {
        if (refuse || unplugged) {
            failure = refuse ? platform::HidOpenFailure::noPermission : platform::HidOpenFailure::cannotOpen;
            return nullptr;
        }
        ++opened;
        return std::make_unique<SimulatedHid>(*this);
    };
    services.openSerial = [this](const std::string&, platform::SerialOpenFailure& failure) -> std::unique_ptr<platform::SerialLink> {
        if (refuse || unplugged) {
            failure = refuse ? platform::SerialOpenFailure::noPermission : platform::SerialOpenFailure::missing;
            return nullptr;
        }
        ++opened;
        return std::make_unique<SimulatedSerial>(*this);
    };
    return services;
}

}  // namespace tally::test
