#include "Parser.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace tally;
using A = Availability;

namespace {

std::optional<LogEvent> presence(A a, std::string word) {
    return PresenceEvent{a, std::move(word)};
}
std::optional<LogEvent> call(bool started, std::string window) {
    return CallEvent{started, std::move(window)};
}

std::string describe(const std::optional<LogEvent>& e) {
    if (!e) return "none";
    if (const auto* p = std::get_if<PresenceEvent>(&*e))
        return "presence " + std::string(rawValue(p->availability)) + " '" + p->rawWord + "'";
    const auto& c = std::get<CallEvent>(*e);
    return std::string(c.started ? "call started '" : "call ended '") + c.window + "'";
}

struct Case {
    std::string line;
    std::optional<LogEvent> expected;
};

void expectAll(const std::vector<Case>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(describe(Parser::parse(c.line)), describe(c.expected)) << "line: " << c.line;
}

}  // namespace

TEST(Parser, userPresenceRecords) {
    expectAll({
        {"UserPresenceAction: {presence: x, availability: Busy, activity: y}",
         presence(A::busy, "Busy")},
        {"UserPresenceAction: {availability:Busy}", presence(A::busy, "Busy")},
        {"UserPresenceAction: {availability: busy}", presence(A::busy, "busy")},
        {"UserPresenceAction: {availability: Presenting}", presence(A::dnd, "Presenting")},
        {"UserPresenceAction: {availability: OffWork}", presence(A::away, "OffWork")},
        {"UserPresenceAction: {availability: PresenceUnknown}",
         presence(A::unknown, "PresenceUnknown")},
        {"UserPresenceAction: {availability: Tentative}", presence(A::unknown, "Tentative")},
        {"UserPresenceAction: {availability: Be_Right_Back}",
         presence(A::unknown, "Be_Right_Back")},
        // The lazy field: a first availability without a word gives way to a later one.
        {"UserPresenceAction: {availability: , availability: Away}", presence(A::away, "Away")},
        {"UserPresenceAction: {availability:\t\tDoNotDisturb}", presence(A::dnd, "DoNotDisturb")},
        {"UserPresenceAction: availability: Busy", std::nullopt},
        {"UserPresenceAction: {a: 1} {availability: Busy}", std::nullopt},
        {"UserPresenceAction: {availability: \"Busy\"}", std::nullopt},
        {"UserPresenceAction: {myavailability: Busy}", std::nullopt},
        {"UserPresenceAction: {my_availability: Busy}", std::nullopt},
        {"userpresenceaction: {availability: Busy}", std::nullopt},
        {"UserPresenceAction:  {availability: Busy}", std::nullopt},
    });
}

TEST(Parser, iconPresenceLines) {
    const std::string p = "UpdateIconPresence: presence update to icon ";
    expectAll({
        {p + "v2: Do not disturb", presence(A::dnd, "Do not disturb")},
        {p + "v12: In a meeting (from web)", presence(A::busy, "In a meeting")},
        {p + "v2: In a call", presence(A::busy, "In a call")},
        {p + "v3: Busy from web", presence(A::unknown, "Busy from web")},
        {p + "v2:Available  ", presence(A::available, "Available")},
        {p + "v2: Be right back.", presence(A::brb, "Be right back")},
        {p + "v2: A", std::nullopt},
        {"UpdateIconPresence: presence update to icon: Busy", std::nullopt},
        {p + "v3: 7 Busy", std::nullopt},
        {"updateiconpresence: presence update to icon v2: Busy", std::nullopt},
    });
}

TEST(Parser, meetingWindowLines) {
    const std::string start = " Setting close prompt from web: meeting";
    expectAll({
        {"Window: (id=7; name=abc123; kind=x)" + start, call(true, "abc123")},
        {"Window: (name=abc def)" + start, call(true, "abc")},
        {"Window: (name=abc123)" + start + "s", std::nullopt},
        {"Window: (name=abc123) Setting close prompt from web: chat", std::nullopt},
        {"Window: (name=abc123) Resetting close prompt from web", call(false, "abc123")},
        {"Window: (name=abc123) WindowCloseActionDestroy, letting it close", call(false, "abc123")},
        {"Window: (name=m1) WindowCloseActionDestroy", std::nullopt},
        {"Window: (name=abc123)Setting close prompt from web: meeting", std::nullopt},
        {"Window: (filename=abc123)" + start, std::nullopt},
        {"Window: (name=)" + start, std::nullopt},
        {"Window: (name=MiXeD)\t " + start, call(true, "MiXeD")},
    });
}

TEST(Parser, controlCharactersMeanWhatTheyMeanToICU) {
    // ICU's \s takes vertical tab, form feed and carriage return; its '.' takes none of them.
    const std::string icon = "UpdateIconPresence: presence update to icon v2:";
    const std::string start = "Setting close prompt from web: meeting";
    for (const std::string c : {"\v", "\f", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(c));
        expectAll({
            {"UserPresenceAction: {availability:" + c + "Busy}", presence(A::busy, "Busy")},
            {"UserPresenceAction: {" + c + "availability: Busy" + c + "}", presence(A::busy, "Busy")},
            {icon + c + "Busy", presence(A::busy, "Busy")},
            {"UpdateIconPresence" + c + " presence update to icon v2: Busy", std::nullopt},
            {"UpdateIconPresence: presence update to icon v2: Busy" + c + "x", presence(A::busy, "Busy")},
            {"Window: (name=w1)" + c + start, call(true, "w1")},
            {"Window: (name=w1" + c + "x) " + start, call(true, "w1")},
            {"Window: (" + c + "name=w1) Resetting close prompt from web", call(false, "w1")},
            {"Window: (name=w1)" + c + c + "WindowCloseActionDestroy, letting", call(false, "w1")},
        });
    }
    // Unicode white space outside ASCII is white space too; a line separator ends '.'.
    expectAll({
        {"UserPresenceAction: {availability:\u00A0Away}", presence(A::away, "Away")},
        {"Window: (name=w2)\u3000" + start, call(true, "w2")},
        {"UpdateIconPresence\u2028 presence update to icon v2: Busy", std::nullopt},
    });
}

TEST(Parser, precedenceBetweenKindsOfLine) {
    expectAll({
        // A window line wins over a presence record in the same line ...
        {"Window: (name=abc123) Setting close prompt from web: meeting UserPresenceAction: "
         "{availability: Busy}",
         call(true, "abc123")},
        // ... but a marker without a matching window pattern lets the presence record through.
        {"Window: (name=abc123) Setting close prompt from web: chat UserPresenceAction: "
         "{availability: Away}",
         presence(A::away, "Away")},
        // Pattern 1 wins wherever it stands.
        {"UpdateIconPresence: presence update to icon v1: Available UserPresenceAction: "
         "{availability: Busy}",
         presence(A::busy, "Busy")},
        // The start pattern is tried before the end pattern.
        {"Window: (name=b) Resetting close prompt from web Window: (name=a) Setting close prompt "
         "from web: meeting",
         call(true, "a")},
        {"nothing to see here", std::nullopt},
        {"", std::nullopt},
    });
}

TEST(Parser, normaliseFoldsTheKeyOnly) {
    const std::pair<std::string_view, A> cases[] = {
        {"Do not disturb", A::dnd}, {"DoNotDisturb", A::dnd},      {"DONOTDISTURB", A::dnd},
        {"Be right back", A::brb},  {"Appear offline", A::offline}, {"Available Idle", A::available},
        {"In a call", A::busy},     {"", A::unknown},              {"Unknown", A::unknown},
        {"In a\tcall", A::unknown}, {"Focusing", A::dnd},          {"BeRightBac\u212A", A::brb},
        {"Busy\xC3\xA9", A::unknown},
    };
    for (const auto& [word, expected] : cases)
        EXPECT_EQ(Parser::normalise(word), expected) << word;
}

TEST(Parser, hostileInputYieldsWhatThePatternsSay) {
    using namespace std::string_literals;
    // NUL bytes and replacement characters around a record do not hide it.
    EXPECT_EQ(describe(Parser::parse("\0\0UserPresenceAction: {x: \xEF\xBF\xBD, availability: Busy}\0"s)),
              "presence Busy 'Busy'");
    // Invalid UTF-8 yields nothing rather than a crash.
    EXPECT_EQ(Parser::parse("\xFF\xFEUserPresenceAction: {\xC3(availability"), std::nullopt);

    // A 1 MiB line with the record at its very end.
    std::string longLine(1 << 20, 'x');
    longLine += "UserPresenceAction: {availability: Away}";
    EXPECT_EQ(describe(Parser::parse(longLine)), "presence Away 'Away'");

    // Thousands of markers, none completing a pattern, then one that does.
    std::string markers;
    for (int i = 0; i < 5000; ++i)
        markers += "UserPresenceAction: {availability: } UpdateIconPresence Window: (name=";
    EXPECT_EQ(Parser::parse(markers), std::nullopt);
    markers += ") Resetting close prompt from web";
    // The name stops at the first space; the description runs on to the only ')'.
    EXPECT_EQ(describe(Parser::parse(markers)), "call ended 'UserPresenceAction:'");
}

TEST(Parser, firstUseFromManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<std::string> results(8);
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] {
            results[i] = describe(Parser::parse("UserPresenceAction: {availability: Busy}"));
        });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, "presence Busy 'Busy'");
}

TEST(Parser, findMarkerAgreesWithPlainSubstringSearch) {
    const std::string_view markers[] = {"close prompt from web", "WindowCloseActionDestroy",
                                        "UserPresenceAction", "UpdateIconPresence"};
    auto plainFind = [&](std::string_view text, std::size_t from) {
        std::size_t best = std::string_view::npos;
        for (auto m : markers) best = std::min(best, text.find(m, from));
        return best;
    };
    // Texts stitched from marker fragments and near misses, so that the skip table is tested
    // on overlaps, truncated markers and markers at both ends.
    const std::string_view pieces[] = {
        "UserPresenceAction", "UserPresenceActio", "UpdateIconPresence", "pdateIconPresence",
        "close prompt from web", "close prompt from we", "WindowCloseActionDestroy",
        "WindowCloseAction", "Presence", "on", "ce", "m ", "x", " ", "\xFF", "UserUpdate"};
    std::uint64_t seed = 42;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(seed % 7);
        for (int i = 0; i < count; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            text += pieces[(seed >> 33) % std::size(pieces)];
        }
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        for (std::size_t from = 0; from <= text.size(); ++from)
            ASSERT_EQ(Parser::findMarker(text, from), plainFind(text, from))
                << "text '" << text << "' from " << from;
    }
}
