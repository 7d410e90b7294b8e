#include "LogGenerator.h"

#include <array>
#include <string_view>

namespace tally::bench {

namespace {

// splitmix64: tiny, fast, and the same everywhere (unlike the standard distributions).
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) { return items[below(N)]; }
};

constexpr std::array<std::string_view, 8> components{
    "native_modules::UserDataCrossCloudModule", "TelemetryService", "MainWindowService",
    "CoreWebView2Host", "SlimCoreRuntime", "NotificationManager", "AuthenticationProvider",
    "WebViewEventDispatcher"};

constexpr std::array<std::string_view, 10> phrases{
    "Received event from renderer", "Sending telemetry batch", "cache hit for key",
    "window focus changed", "presence subscription refreshed for contacts",
    "Closing idle connection", "the user's close prompt was shown for chat",
    "Resolved endpoint configuration", "Token acquired silently", "Heartbeat ok"};

constexpr std::array<std::string_view, 12> availabilities{
    "Available", "Busy", "DoNotDisturb", "BeRightBack", "Away", "Offline",
    "AvailableIdle", "BusyIdle", "Presenting", "InAMeeting", "OffWork", "PresenceUnknown"};

constexpr std::array<std::string_view, 6> iconPhrases{
    "Available", "Busy", "Do not disturb", "In a meeting", "Be right back", "Away"};

void appendPrefix(std::string& out, Random& r, std::uint64_t lineNo) {
    const std::uint64_t ms = 1'700'000'000'000ull + lineNo * 37;
    out += "2026-12-07T";
    out += std::to_string(10 + (ms / 3'600'000) % 10);
    out += ':';
    out += std::to_string(10 + (ms / 60'000) % 50);
    out += ':';
    out += std::to_string(10 + (ms / 1000) % 50);
    out += '.';
    out += std::to_string(100 + ms % 900);
    out += "Z 0x0000";
    out += std::to_string(1000 + r.below(9000));
    out += r.below(10) == 0 ? " <WARN> " : " <INFO> ";
    out += r.pick(components);
    out += ": ";
}

void appendJson(std::string& out, Random& r, std::size_t bytes) {
    out += "payload={\"items\":[";
    const std::size_t start = out.size();
    while (out.size() - start < bytes) {
        out += "{\"id\":\"";
        out += std::to_string(r.next());
        out += "\",\"type\":\"message\",\"state\":\"delivered\",\"presence\":\"cached\",";
        out += "\"title\":\"";
        out += r.pick(phrases);
        out += "\",\"weight\":";
        out += std::to_string(r.below(100000));
        out += "},";
    }
    out += "{}]}";
}

void appendNoise(std::string& out, Random& r) {
    const std::size_t roll = r.below(100);
    out += r.pick(phrases);
    if (roll < 70) {  // short lines, most of the log
        out += " id=";
        out += std::to_string(r.next());
    } else if (roll < 95) {  // medium lines with a small payload
        out += ' ';
        appendJson(out, r, 200 + r.below(1800));
    } else {  // long JSON payloads, up to about 20 KiB
        out += ' ';
        appendJson(out, r, 4000 + r.below(16000));
    }
}

void appendPresence(std::string& out, Random& r) {
    if (r.below(2) == 0) {
        out += "UserPresenceAction: {presence: PresenceUpdate, availability: ";
        out += r.pick(availabilities);
        out += ", activity: ";
        out += r.pick(availabilities);
        out += ", deviceType: Desktop}";
    } else {
        out += "UpdateIconPresence: presence update to icon v2: ";
        out += r.pick(iconPhrases);
    }
}

void appendWindow(std::string& out, Random& r, bool& open) {
    out += "Window: (id=";
    out += std::to_string(r.below(100));
    out += "; name=meeting-42; kind=meeting) ";
    out += open ? "Resetting close prompt from web" : "Setting close prompt from web: meeting";
    open = !open;
}

}  // namespace

std::string generateLog(std::size_t bytes, std::uint64_t seed) {
    Random r{seed};
    std::string out;
    out.reserve(bytes + 32 * 1024);
    bool windowOpen = false;
    for (std::uint64_t lineNo = 0; out.size() < bytes; ++lineNo) {
        appendPrefix(out, r, lineNo);
        if (lineNo % 1000 == 999)
            appendWindow(out, r, windowOpen);
        else if (lineNo % 500 == 249)
            appendPresence(out, r);
        else
            appendNoise(out, r);
        out += '\n';
    }
    return out;
}

}  // namespace tally::bench
