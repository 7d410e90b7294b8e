#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SerialPorts.h"
#include "Sight.h"

namespace tally::lights {

enum class Kind { luxafor, embrava, kuando, blink1, muteMe, busyTag, fitStatUsb };
enum class Transport { hid, serial };

// A light Tally recognises by its USB identity.
struct KnownLight {
    platform::UsbId id;
    Kind kind;
    std::string_view name;  // maker and model, as the menu and the log say it
};

// Every light of another maker that Tally drives, by USB identity.
const std::vector<KnownLight>& knownLights();
std::optional<KnownLight> knownLight(platform::UsbId id);
Transport transportOf(Kind kind);
std::unique_ptr<LightKind> makeKind(Kind kind);
// The kind a person names for a serial port Tally cannot identify ("busy-tag", "fit-statusb").
std::optional<Kind> serialKindNamed(std::string_view name);
std::string_view kindName(Kind kind);
// Maker and model of a kind, for a light whose USB identity Tally did not see ("Busy Tag").
std::string_view makerName(Kind kind);

// Boards that may run Tally's own firmware: the USB identities MicroPython's builds announce.
struct Board {
    platform::UsbId id;
    std::string_view name;
};
const std::vector<Board>& tallyBoards();

}  // namespace tally::lights
