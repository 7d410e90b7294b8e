#include "KnownLights.h"

#include <algorithm>

#include "Kinds.h"

namespace tally::lights {

// USB identities, each from the maker's own page or document where there is one (see the
// README's "Lights" section for which are confirmed): Luxafor 04D8:F372; Embrava and the
// Plantronics Status Indicator; Plenom's API document (27BB:3BCA, 3BCB, 3BCD) and later models;
// ThingM's blink(1) page; MuteMe's "HID Key" page; Busy Tag; CompuLab's wiki.
const std::vector<KnownLight>& knownLights() {
    static const std::vector<KnownLight> all{
        {{0x04D8, 0xF372}, Kind::luxafor, "Luxafor light"},
        {{0x2C0D, 0x0001}, Kind::embrava, "Embrava Blynclight"},
        {{0x2C0D, 0x000A}, Kind::embrava, "Embrava Blynclight Mini"},
        {{0x2C0D, 0x000C}, Kind::embrava, "Embrava Blynclight Plus"},
        {{0x0E53, 0x2517}, Kind::embrava, "Embrava Blynclight"},
        {{0x047F, 0xD005}, Kind::embrava, "Plantronics Status Indicator"},
        {{0x27BB, 0x3BCA}, Kind::kuando, "Kuando Busylight Alpha"},
        {{0x27BB, 0x3BCB}, Kind::kuando, "Kuando Busylight UC"},
        {{0x27BB, 0x3BCD}, Kind::kuando, "Kuando Busylight Omega"},
        {{0x27BB, 0x3BCE}, Kind::kuando, "Kuando Busylight Alpha"},
        {{0x27BB, 0x3BCF}, Kind::kuando, "Kuando Busylight Omega"},
        {{0x04D8, 0xF848}, Kind::kuando, "Kuando Busylight"},
        {{0x27B8, 0x01ED}, Kind::blink1, "ThingM blink(1)"},
        {{0x20A0, 0x42DA}, Kind::muteMe, "MuteMe Original"},
        {{0x20A0, 0x42DB}, Kind::muteMe, "MuteMe Mini"},
        {{0x3603, 0x0001}, Kind::muteMe, "MuteMe Original"},
        {{0x3603, 0x0002}, Kind::muteMe, "MuteMe Mini"},
        {{0x3603, 0x0003}, Kind::muteMe, "MuteMe Mini"},
        {{0x3603, 0x0004}, Kind::muteMe, "MuteMe Mini"},
        {{0x16C0, 0x27DB}, Kind::muteMe, "MuteMe Original"},
        {{0x303A, 0x81DF}, Kind::busyTag, "Busy Tag"},
        {{0x2047, 0x03DF}, Kind::fitStatUsb, "CompuLab fit-statUSB"},
    };
    return all;
}

std::optional<KnownLight> knownLight(platform::UsbId id) {
    for (const KnownLight& light : knownLights())
        if (light.id == id) return light;
    return std::nullopt;
}

Transport transportOf(Kind kind) {
    return kind == Kind::busyTag || kind == Kind::fitStatUsb ? Transport::serial : Transport::hid;
}

std::unique_ptr<LightKind> makeKind(Kind kind) {
    switch (kind) {
        case Kind::luxafor: return makeLuxafor();
        case Kind::embrava: return makeEmbrava();
        case Kind::kuando: return makeKuando();
        case Kind::blink1: return makeBlink1();
        case Kind::muteMe: return makeMuteMe();
        case Kind::busyTag: return makeBusyTag();
        case Kind::fitStatUsb: return makeFitStatUsb();
    }
    return nullptr;
}

namespace {

struct Named {
    Kind kind;
    std::string_view name;
};
constexpr Named names[] = {
    {Kind::luxafor, "luxafor"}, {Kind::embrava, "embrava"},   {Kind::kuando, "kuando"},
    {Kind::blink1, "blink1"},   {Kind::muteMe, "muteme"},     {Kind::busyTag, "busy-tag"},
    {Kind::fitStatUsb, "fit-statusb"},
};

}  // namespace

std::optional<Kind> serialKindNamed(std::string_view name) {
    for (const Named& one : names)
        if (one.name == name && transportOf(one.kind) == Transport::serial) return one.kind;
    return std::nullopt;
}

std::string_view kindName(Kind kind) {
    for (const Named& one : names)
        if (one.kind == kind) return one.name;
    return "";
}

std::string_view makerName(Kind kind) {
    for (const KnownLight& light : knownLights())
        if (light.kind == kind) return light.name;
    return kindName(kind);
}

// MicroPython announces 2E8A:0005 for the Raspberry Pi Pico and every board without an identity
// of its own; these boards have one, each from MicroPython's ports/rp2/boards/<BOARD>/
// mpconfigboard.h (MICROPY_HW_USB_VID and _PID). The handshake still decides: a board that
// does not answer PING is passed over, and the log says so.
const std::vector<Board>& tallyBoards() {
    static const std::vector<Board> all{
        {{0x2E8A, 0x0005}, "Raspberry Pi Pico (and MicroPython's default)"},
        {{0x2E8A, 0x101F}, "Waveshare RP2040-Zero"},
        {{0x2E8A, 0x1020}, "Waveshare RP2040-Plus"},
        {{0x239A, 0x80F8}, "Adafruit QT Py RP2040"},
        {{0x239A, 0x80F2}, "Adafruit Feather RP2040"},
        {{0x239A, 0x80FE}, "Adafruit ItsyBitsy RP2040"},
        {{0x16D0, 0x08C7}, "Pimoroni Tiny 2040"},
        {{0x1B4F, 0x0026}, "SparkFun Pro Micro RP2040"},
    };
    return all;
}

}  // namespace tally::lights
