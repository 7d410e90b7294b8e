#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LightDevice.h"
#include "SerialLink.h"

namespace tally::test {

// A light behind a serial link that fails on cue, with no terminal and no real waiting: a
// read that would time out returns at once. Every link it opens shares this state, so a test
// can unplug and replug it, and see every line the links were sent.
class FakeLight {
public:
    enum class Fault {
        none,
        silent,            // never answers
        late,              // answers each line only after its wait has ended
        babbling,          // answers with bytes and never a line feed
        vanished,          // writes fail, as on an unplugged device
        refuseHandshake,   // answers PING with OK
        burst,             // answers every line with three lines
    };

    Fault fault = Fault::none;
    std::string version = "1.0";
    std::string answer = "OK";
    platform::SerialOpenFailure openFailure{};  // the next opens fail so, unless none
    std::vector<std::string> received;
    int opened = 0;
    // Answers on their way: they belong to the light, not to one link, so an answer that comes
    // late reaches whichever link is open by then.
    std::string unsent;
    int lateWaits = 0;  // waits that still end empty before the answers go out

    // What a LightDevice opens its ports with.
    LightDevice::PortOpener opener();

    // The answer to one line, with its line feed(s); empty for none.
    std::string answerTo(const std::string& line) const;
};

class FakeSerialLink final : public platform::SerialLink {
public:
    explicit FakeSerialLink(FakeLight& light) : light_(light) {}
    bool write(std::string_view bytes) override;
    bool read(std::string& into, std::size_t max, double timeout) override;

private:
    FakeLight& light_;
    std::string pending_;  // bytes written and not yet a whole line
};

}  // namespace tally::test
