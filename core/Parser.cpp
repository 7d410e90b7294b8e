#include "Parser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include <re2/re2.h>

namespace tally {

namespace {

constexpr std::array<std::string_view, 7> availabilityNames{
    "Available", "Busy", "DoNotDisturb", "BeRightBack", "Away", "Offline", "Unknown"};

// The patterns are compiled once, on first use; C++ guarantees that a function-local static
// is built exactly once even when threads race for it, and RE2 matching is thread-safe.
// The patterns were written for ICU, whose classes differ from RE2's on control characters:
// ICU's \s is Unicode's White_Space (RE2's leaves out vertical tab and the rest), and ICU's
// '.' stops at every line terminator (RE2's only at line feed). Both are spelt out here so that
// the patterns match what they always meant.
constexpr std::string_view whiteSpace =
    R"(\t\n\x0B\f\r \x{85}\x{A0}\x{1680}\x{2000}-\x{200A}\x{2028}\x{2029}\x{202F}\x{205F}\x{3000})";
constexpr std::string_view notLineEnd = R"([^\n\x0B\f\r\x{85}\x{2028}\x{2029}])";

// The pattern with ICU's meaning of \s and '.' written out for RE2.
std::string icu(std::string_view pattern) {
    std::string out;
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\' && i + 1 < pattern.size()) {
            if (pattern[++i] == 's')
                out += inClass ? std::string(whiteSpace) : "[" + std::string(whiteSpace) + "]";
            else
                out += pattern.substr(i - 1, 2);
        } else if (c == '.' && !inClass) {
            out += notLineEnd;
        } else {
            if (c == '[') inClass = true;
            if (c == ']') inClass = false;
            out += c;
        }
    }
    return out;
}

struct Patterns {
    RE2 userPresence{icu(R"(UserPresenceAction: \{[^}]*?\bavailability:\s*(\w+))")};
    RE2 iconPresence{
        icu(R"(UpdateIconPresence.*?presence update to icon v\d+:\s*([A-Za-z][A-Za-z ]*[A-Za-z]))")};
    RE2 callStart{icu(
        R"(Window: \([^)]*?\bname=([^;)\s]+)[^)]*\)\s+Setting close prompt from web: meeting\b)")};
    RE2 callEnd{icu(
        R"(Window: \([^)]*?\bname=([^;)\s]+)[^)]*\)\s+(?:Resetting close prompt from web|WindowCloseActionDestroy, letting))")};

    Patterns() {
        for (const RE2* re : {&userPresence, &iconPresence, &callStart, &callEnd})
            if (!re->ok()) std::abort();  // a fault of the program, not of its input
    }
};

const Patterns& patterns() {
    static const Patterns instance;
    return instance;
}

const std::unordered_map<std::string_view, Availability>& words() {
    static const std::unordered_map<std::string_view, Availability> table{
        {"available", Availability::available},   {"availableidle", Availability::available},
        {"busy", Availability::busy},             {"busyidle", Availability::busy},
        {"inacall", Availability::busy},          {"inameeting", Availability::busy},
        {"donotdisturb", Availability::dnd},      {"presenting", Availability::dnd},
        {"focusing", Availability::dnd},          {"berightback", Availability::brb},
        {"away", Availability::away},             {"offwork", Availability::away},
        {"offline", Availability::offline},       {"appearoffline", Availability::offline},
        {"presenceunknown", Availability::unknown},
    };
    return table;
}

constexpr std::string_view closePrompt = "close prompt from web";
constexpr std::string_view closeDestroy = "WindowCloseActionDestroy";
constexpr std::string_view userPresence = "UserPresenceAction";
constexpr std::string_view iconPresence = "UpdateIconPresence";

// Finds the first of the four markers. Almost no log text holds one, so the search tests 16
// start positions at once against two bytes of each marker (bytes rare in ordinary text, a
// fixed distance apart) and compares whole markers only where both bytes agree. This keeps a
// parse cheaper than reading the text; GCC and Clang lower the vector type to SSE2 or NEON.
class MarkerFinder {
public:
    std::size_t find(std::string_view text, std::size_t from) const {
        const char* const data = text.data();
        const std::size_t size = text.size();
        std::size_t at = from;
#if defined(__GNUC__) || defined(__clang__)
        using Bytes = unsigned char __attribute__((vector_size(16)));
        const auto load = [data](std::size_t i) {
            Bytes v;
            std::memcpy(&v, data + i, sizeof v);
            return v;
        };
        const auto splat = [](char c) { return Bytes{} + static_cast<unsigned char>(c); };
        const Bytes U = splat('U'), A = splat('A'), I = splat('I'), W = splat('W'),
                    D = splat('D'), p = splat('p'), w = splat('w');
        for (; at + sizeof(Bytes) + longest <= size; at += sizeof(Bytes)) {
            const Bytes first = load(at);
            const auto hit = ((first == U) & ((load(at + 12) == A) | (load(at + 6) == I))) |
                             ((first == W) & (load(at + 17) == D)) |
                             ((load(at + 6) == p) & (load(at + 18) == w));
            // Two 8-byte reads let the compiler keep `hit` in a register (one 16-byte copy
            // to an array goes through memory and costs a third of the speed).
            std::uint64_t low, high;
            std::memcpy(&low, &hit, 8);
            std::memcpy(&high, reinterpret_cast<const char*>(&hit) + 8, 8);
            if (__builtin_expect((low | high) == 0, 1)) continue;
            for (std::size_t i = at; i < at + sizeof(Bytes); ++i)
                if (startsWithMarker(text, i)) return i;
        }
#endif
        for (; at < size; ++at)
            if (startsWithMarker(text, at)) return at;
        return std::string_view::npos;
    }

private:
    // The bytes tested above: "UserPresenceAction" has 'U' at 0 and 'A' at 12,
    // "UpdateIconPresence" 'U' at 0 and 'I' at 6, "WindowCloseActionDestroy" 'W' at 0 and
    // 'D' at 17, "close prompt from web" 'p' at 6 and 'w' at 18.
    static constexpr std::size_t longest = 24;
    static_assert(userPresence[12] == 'A' && iconPresence[6] == 'I' && closeDestroy[17] == 'D' &&
                  closePrompt[6] == 'p' && closePrompt[18] == 'w');

    static bool startsWithMarker(std::string_view text, std::size_t at) {
        const std::string_view rest = text.substr(at);
        switch (rest[0]) {
            case 'U': return rest.starts_with(userPresence) || rest.starts_with(iconPresence);
            case 'W': return rest.starts_with(closeDestroy);
            case 'c': return rest.starts_with(closePrompt);
            default: return false;
        }
    }
};

const MarkerFinder& markerFinder() {
    static const MarkerFinder instance;
    return instance;
}

bool contains(std::string_view line, std::string_view marker) {
    return line.find(marker) != std::string_view::npos;
}

// Length of the tab or Unicode space separator (Zs) that starts at `s`, or 0.
std::size_t spaceAt(std::string_view s) {
    if (s.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 == ' ' || b0 == '\t') return 1;
    if (b0 == 0xC2 && s.size() >= 2 && static_cast<unsigned char>(s[1]) == 0xA0) return 2;
    if (s.size() < 3) return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    const auto b2 = static_cast<unsigned char>(s[2]);
    if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) return 3;                // U+1680
    if (b0 == 0xE2 && b1 == 0x80 && (b2 <= 0x8A || b2 == 0xAF)) return 3;  // U+2000-200A, 202F
    if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) return 3;                // U+205F
    if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) return 3;                // U+3000
    return 0;
}

// Like spaceAt, for the separator that ends `s`.
std::size_t spaceBefore(std::string_view s) {
    for (std::size_t n : {1u, 2u, 3u})
        if (s.size() >= n && spaceAt(s.substr(s.size() - n)) == n) return n;
    return 0;
}

std::string_view trimSpaces(std::string_view s) {
    while (std::size_t n = spaceAt(s)) s.remove_prefix(n);
    while (std::size_t n = spaceBefore(s)) s.remove_suffix(n);
    return s;
}

// Searches anywhere in the line; group 1, if it matched, lands in `group`.
bool search(std::string_view line, const RE2& re, std::string_view& group) {
    // re2::StringPiece is RE2's own view type on older releases and std::string_view on newer.
    re2::StringPiece captured;
    if (!RE2::PartialMatch(line, re, &captured)) return false;
    group = std::string_view(captured.data(), captured.size());
    return true;
}

std::optional<LogEvent> matchCall(std::string_view line, const RE2& re, bool started) {
    std::string_view window;
    if (!search(line, re, window)) return std::nullopt;
    return CallEvent{started, std::string(window)};
}

}  // namespace

std::string_view rawValue(Availability availability) {
    return availabilityNames[static_cast<std::size_t>(availability)];
}

std::optional<Availability> availabilityFromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < availabilityNames.size(); ++i)
        if (availabilityNames[i] == text) return static_cast<Availability>(i);
    return std::nullopt;
}

namespace Parser {

Availability normalise(std::string_view word) {
    std::string key;
    key.reserve(word.size());
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (c == ' ') continue;
        if (c >= 'A' && c <= 'Z') {
            key.push_back(static_cast<char>(c - 'A' + 'a'));
        } else if (word.substr(i, 3) == "\u212A") {
            // KELVIN SIGN is the one non-ASCII letter whose lower case is ASCII ("k").
            key.push_back('k');
            i += 2;
        } else {
            // Any other non-ASCII letter lower-cases to non-ASCII, which no key holds.
            key.push_back(c);
        }
    }
    const auto& table = words();
    const auto it = table.find(key);
    return it == table.end() ? Availability::unknown : it->second;
}

std::size_t findMarker(std::string_view text, std::size_t from) {
    return markerFinder().find(text, from);
}

std::optional<LogEvent> parse(std::string_view line) {
    if (findMarker(line) == std::string_view::npos) return std::nullopt;
    if (contains(line, closePrompt) || contains(line, closeDestroy)) {
        if (auto event = matchCall(line, patterns().callStart, true)) return event;
        if (auto event = matchCall(line, patterns().callEnd, false)) return event;
    }
    if (contains(line, userPresence) || contains(line, iconPresence)) {
        for (const RE2* re : {&patterns().userPresence, &patterns().iconPresence}) {
            std::string_view group;
            if (search(line, *re, group)) {
                const std::string_view word = trimSpaces(group);
                return PresenceEvent{normalise(word), std::string(word)};
            }
        }
    }
    return std::nullopt;
}

}  // namespace Parser

}  // namespace tally
