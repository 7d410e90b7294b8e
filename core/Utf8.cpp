#include "Utf8.h"

#include <cstdint>
#include <cstring>

namespace tally::Utf8 {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid sequence at the front of `s`, or 0 when it is invalid; `consumed` is
// set to the length of the maximal subpart that an invalid sequence spans (at least 1).
std::size_t sequenceAt(std::string_view s, std::size_t& consumed) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
        consumed = 1;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        consumed = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < length && i < s.size(); ++i) {
        const unsigned char b = byte(i);
        const bool ok = i == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
        if (!ok) break;
    }
    consumed = i;
    return i == length ? length : 0;
}

bool allAscii(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

}  // namespace

bool isValid(std::string_view bytes) {
    if (allAscii(bytes)) return true;
    for (std::size_t i = 0, consumed = 0; i < bytes.size(); i += consumed)
        if (sequenceAt(bytes.substr(i), consumed) == 0) return false;
    return true;
}

std::string repaired(std::string_view bytes) {
    if (isValid(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 16);
    for (std::size_t i = 0, consumed = 0; i < bytes.size(); i += consumed) {
        const std::size_t valid = sequenceAt(bytes.substr(i), consumed);
        if (valid)
            out.append(bytes.substr(i, valid));
        else
            out.append(replacement);
    }
    return out;
}

namespace {

// Characters that would move, hide or reorder what follows them where the text is shown: the C0
// and C1 controls (a line feed forges a line, an escape drives the terminal), the line and
// paragraph separators, and the bidirectional marks and overrides.
bool hides(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C ||
           c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t decode(std::string_view sequence) {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(sequence[i])); };
    switch (sequence.size()) {
        case 1: return byte(0);
        case 2: return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
        case 3: return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        default: return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    }
}

}  // namespace

std::string printable(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0, consumed = 0; i < bytes.size(); i += consumed) {
        const std::size_t valid = sequenceAt(bytes.substr(i), consumed);
        if (!valid)
            out.append(replacement);
        else if (hides(decode(bytes.substr(i, valid))))
            out.push_back('?');
        else
            out.append(bytes.substr(i, valid));
    }
    return out;
}

}  // namespace tally::Utf8
